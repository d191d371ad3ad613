# Shared by tools/arm64-root.sh and tools/run-arm64-smoke.sh: where the Debian arm64 root lives,
# the binfmt entry that runs its programs under qemu-user, and the mounts a run needs. Source it;
# it defines functions and variables only. Everything here needs root (chroot, mounts, binfmt).

TARN_ROOT=${TARN_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
tarn_cache_root="${TARN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarn-logon}"

# The root is named after the Wine it holds, which is the host's Wine version (the same mirror
# and release serve both), so a new Wine makes a new root rather than a mixed one.
_tarn_wine_version=$(dpkg-query -W -f='${Version}' wine 2>/dev/null || echo unknown)
TARN_ARM64_ROOT="${TARN_ARM64_ROOT:-$tarn_cache_root/arm64-root-wine-${_tarn_wine_version//[~:]/-}}"
TARN_ARM64_READY="$TARN_ARM64_ROOT/.tarn-ready"

# The mount points a run makes inside the root, in the order they are made; undone in reverse.
_tarn_arm64_mounts=(proc sys dev dev/pts tmp/.X11-unix)

# qemu-aarch64 must run the root's programs after the chroot, so its entry needs the F flag (the
# interpreter is opened when the entry is registered). binfmt-support also registers handlers
# for jar files, Python byte code and LLVM bitcode host-wide; they are turned off, since nothing
# here wants them and they change how the host runs such files. No qemu-i386 or qemu-x86_64
# handler is ever added: the host's own Wine runs its programs natively.
tarn_arm64_binfmt() {
    local name
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ]; then
        update-binfmts --enable qemu-aarch64 >/dev/null
    fi
    if ! grep -q '^flags: .*F' /proc/sys/fs/binfmt_misc/qemu-aarch64; then
        echo "arm64: the qemu-aarch64 binfmt entry lacks the F flag (fix_binary):" \
            "$(grep '^flags' /proc/sys/fs/binfmt_misc/qemu-aarch64)" >&2
        return 1
    fi
    for name in jar python3.11 llvm-14-runtime.binfmt; do
        if [ -e "/proc/sys/fs/binfmt_misc/$name" ] && grep -qx enabled "/proc/sys/fs/binfmt_misc/$name"; then
            update-binfmts --disable "$name" >/dev/null 2>&1 || echo 0 >"/proc/sys/fs/binfmt_misc/$name"
        fi
    done
    for name in qemu-i386 qemu-x86_64; do
        if [ -e "/proc/sys/fs/binfmt_misc/$name" ]; then
            echo "arm64: warning: a $name binfmt handler is registered; the host's 32-bit Wine" \
                "may run under emulation" >&2
        fi
    done
}

# Mount points under the root that are mounted now, deepest first (also those an interrupted
# run left behind, whatever their order).
_tarn_arm64_mounted() {
    local root
    root=$(readlink -f "$TARN_ARM64_ROOT")
    awk -v root="$root" '$5 == root || index($5, root "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

tarn_arm64_umount() {
    local point tries
    [ -d "$TARN_ARM64_ROOT" ] || return 0
    for tries in 1 2 3; do
        while IFS= read -r point; do
            [ -n "$point" ] && umount "$point" 2>/dev/null
        done < <(_tarn_arm64_mounted)
        [ -z "$(_tarn_arm64_mounted)" ] && return 0
        sleep 1
    done
    # A process still using a mount: detach it lazily rather than leave /dev bound in the cache.
    while IFS= read -r point; do
        [ -n "$point" ] && umount -l "$point" 2>/dev/null
    done < <(_tarn_arm64_mounted)
    [ -z "$(_tarn_arm64_mounted)" ]
}

# proc, sys, dev, dev/pts and the X socket folder (so the root's Wine reaches the host's Xvfb).
# Mounts left by an interrupted run are undone first, so each is made exactly once.
tarn_arm64_mount() {
    local r="$TARN_ARM64_ROOT"
    tarn_arm64_umount || { echo "arm64: mounts under $r cannot be undone" >&2; return 1; }
    mkdir -p /tmp/.X11-unix "$r/tmp/.X11-unix"
    mount -t proc proc "$r/proc"
    mount -t sysfs sys "$r/sys"
    mount --bind /dev "$r/dev"
    mount --bind /dev/pts "$r/dev/pts"
    mount --bind /tmp/.X11-unix "$r/tmp/.X11-unix"
}

# Runs a command inside the root as root, with a clean environment plus the given NAME=value
# words: tarn_arm64_run [NAME=value...] -- command...
tarn_arm64_run() {
    local settings=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do settings+=("$1"); shift; done
    shift
    chroot "$TARN_ARM64_ROOT" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        "${settings[@]}" "$@"
}
