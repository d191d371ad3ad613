#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian 12 machine.
# Idempotent and non-interactive: packages already present are left alone.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

packages=(
    make cmake ninja-build python3
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    googletest
    wine wine32:i386 wine64
    xvfb x11-utils imagemagick
    # The native sanitizer and fuzz build: libclang-rt-14-dev holds the sanitizer and libFuzzer
    # runtimes, llvm the symbolizer that puts file and line into their reports.
    clang libclang-rt-14-dev llvm
    # tools/tarn-pe edits Windows PE images: wimlib's command-line tool for the WIM, and hivex's
    # binding (in the system Python, /usr/bin/python3) for the image's registry hive.
    wimtools python3-hivex
)

# Wine's 32-bit half (wine32) lives in the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: everything is installed"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
