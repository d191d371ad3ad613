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
    # The X client libraries that 32-bit Wine's display driver loads at run time (they are only
    # recommended, so --no-install-recommends leaves them out; the 64-bit ones come with other
    # packages). Without them a 32-bit program sees one made-up display mode and no real driver
    # answer, and text is drawn without XRender: modes and refusals (randr, vidmode), cursors,
    # input devices (xi), screens (xinerama), rendering and window surfaces (render,
    # composite, fixes).
    libxrandr2:i386 libxxf86vm1:i386 libxcursor1:i386 libxi6:i386 libxinerama1:i386
    libxrender1:i386 libxcomposite1:i386 libxfixes3:i386
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
