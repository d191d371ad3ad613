#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian 12 machine.
# Idempotent and non-interactive: packages already present are left alone.
#
# A Debian mirror in the middle of a sync serves an index whose size does not match its Release
# file, and apt-get update then fails on that one index. The script retries the update, goes on
# past an index that still fails (apt keeps the others), and when the install cannot be resolved
# without it (the security suite's amd64 packages have no i386 twin yet, so Wine's 32-bit half
# looks uninstallable), installs from the release's own suite instead, saying so; when that
# suite cannot resolve them either, it names the packages out of step and stops.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# Seconds between two tries of apt-get update; the tests of this script set 0.
retry_pause="${TARN_DEPS_RETRY_PAUSE:-10}"
update_tries=3

# The pinned C/C++ toolchain for the ARM64 build (and the second-compiler x64 build): Zig's
# clang, lld, mingw-w64 runtime and libc++, from the Python package index, in a virtual
# environment of its own so that no system Python is touched.
zig_version="0.15.2"
cache_root="${TARN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarn-logon}"
zig_venv="$cache_root/ziglang-$zig_version"

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
    # tools/tarn-pe edits Windows PE images: wimlib's command-line tool for the WIM, hivex's
    # binding (in the system Python, /usr/bin/python3) for the image's registry hive (the tests
    # and the bench write their sample hives in the registry file format with it too), and
    # python3-cryptography for the boot files' Authenticode signatures; osslsigncode signs the
    # test's boot files.
    wimtools python3-hivex python3-cryptography osslsigncode
    # The virtual environment that holds the Zig toolchain.
    python3-venv
    # The ARM64 program runs under an arm64 Wine in a Debian arm64 root, whose programs run under
    # qemu-user (the F flag of qemu-aarch64's binfmt entry); debootstrap makes that root.
    qemu-user-static binfmt-support debootstrap
)

# Wine's 32-bit half (wine32) lives in the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi

# apt-get update, tried a few times. A failed index is a warning, not the end: apt keeps every
# index that did arrive (and an older copy of the failed one, if it had one).
update_indexes() {
    local try
    for ((try = 1; try <= update_tries; try++)); do
        if $SUDO apt-get update -q; then
            return 0
        fi
        if ((try < update_tries)); then
            echo "install-deps: apt-get update failed (try $try of $update_tries); trying again" \
                "in $retry_pause s" >&2
            sleep "$retry_pause"
        fi
    done
    echo "install-deps: warning: some package indexes could not be fetched (a mirror in the" \
        "middle of a sync?); going on with those that arrived" >&2
}

# The release's own suite (bookworm), for an install that the updates and security suites
# cannot resolve on their own.
release_suite() {
    local codename=""
    if [ -r "${TARN_OS_RELEASE:-/etc/os-release}" ]; then
        codename=$(. "${TARN_OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}")
    fi
    echo "$codename"
}

# The packages a dry run's report of unmet dependencies names (" wine32:i386 : Depends: ..."),
# on one line.
unresolved_packages() {
    awk '/^ [^ ]/ && $2 == ":" && $3 ~ /:$/ { print $1 }' | sort -u | tr '\n' ' ' | sed 's/ $//'
}

install_packages() {
    local suite report names
    # A dry run first: it tells an unresolvable set apart from a failed download.
    if $SUDO apt-get install -s -q --no-install-recommends "$@" >/dev/null; then
        $SUDO apt-get install -y -q --no-install-recommends "$@"
        return
    fi
    suite=$(release_suite)
    if [ -z "$suite" ]; then
        echo "install-deps: the packages cannot be resolved, and /etc/os-release names no" \
            "release to fall back on" >&2
        return 1
    fi
    # The fallback as a dry run too: an i386 package whose amd64 twin already came from a newer
    # suite cannot go in at the release's lower version, and the real install would fail only
    # after the announcement.
    if ! report=$($SUDO apt-get install -s -q --no-install-recommends -t "$suite" "$@" 2>&1); then
        names=$(unresolved_packages <<<"$report")
        echo "install-deps: the packages cannot be resolved from every suite nor from the release's" \
            "own suite, $suite; out of step: ${names:-none that apt names}" >&2
        if [ -n "$names" ]; then sed -n '/unmet dependencies/,$p' <<<"$report"; else grep '^E: ' <<<"$report" || true; fi >&2
        return 1
    fi
    echo "install-deps: the packages cannot be resolved from every suite (an index is missing" \
        "or out of step); installing from the release's own suite, $suite" >&2
    $SUDO apt-get install -y -q --no-install-recommends -t "$suite" "$@"
}

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: every Debian package is installed"
else
    echo "install-deps: installing ${missing[*]}"
    update_indexes
    install_packages "${missing[@]}"
fi

# The Zig toolchain, once per version.
if [ -z "${TARN_DEPS_SKIP_ZIG:-}" ]; then
    if [ ! -e "$zig_venv/.installed" ]; then
        echo "install-deps: installing ziglang $zig_version into $zig_venv"
        rm -rf "$zig_venv"
        mkdir -p "$cache_root"
        /usr/bin/python3 -m venv "$zig_venv"
        "$zig_venv/bin/pip" install -q --disable-pip-version-check "ziglang==$zig_version"
        touch "$zig_venv/.installed"
    fi
fi

# The Debian arm64 root with arm64 Wine in which the ARM64 build's smoke run runs (make test),
# once: a few minutes and about 800 MB under the cache folder. Needs root.
if [ -z "${TARN_DEPS_SKIP_ARM64:-}" ]; then
    $SUDO env "TARN_CACHE=$cache_root" "TARN_DEPS_RETRY_PAUSE=$retry_pause" \
        "$(dirname "$0")/arm64-root.sh"
fi
