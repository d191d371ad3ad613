#!/usr/bin/env bash
# Sets up, once, the Debian arm64 root in which the ARM64 build runs under Debian's arm64 Wine:
# its programs run under qemu-user (the F flag of qemu-aarch64's binfmt entry). A few minutes the
# first time (debootstrap, then Wine and its fonts, from the mirror the host uses); later calls
# see the marker and only check the binfmt entry. A set-up that was interrupted has no marker and
# is made again from the start. The host's Wine and its dpkg architectures are not touched.
# Needs root.
set -euo pipefail
source "$(dirname "$0")/arm64-env.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "arm64-root: needs root (debootstrap, chroot, mounts, binfmt)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
retry_pause="${TARN_DEPS_RETRY_PAUSE:-10}"

tarn_arm64_binfmt

if [ -e "$TARN_ARM64_READY" ]; then exit 0; fi

r="$TARN_ARM64_ROOT"
trap tarn_arm64_umount EXIT
tarn_arm64_umount
if [ -n "$(_tarn_arm64_mounted)" ]; then
    echo "arm64-root: $r still has mounts; not removing it" >&2
    exit 1
fi
rm -rf --one-file-system "$r"
mkdir -p "$r"

# The host's Debian mirror (the first URIs line of its sources), and its release.
sources=/etc/apt/sources.list.d/debian.sources
mirror=$(awk '/^URIs:/ { print $2; exit }' "$sources" 2>/dev/null || true)
mirror="${mirror:-http://deb.debian.org/debian}"
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")

echo "arm64-root: making a Debian $suite arm64 root in $r from $mirror (once; a few minutes)"
debootstrap --arch=arm64 "$suite" "$r" "$mirror" >"$r.debootstrap.log" 2>&1 || {
    echo "arm64-root: debootstrap failed; the end of its log ($r.debootstrap.log):" >&2
    tail -n 20 "$r.debootstrap.log" >&2
    exit 1
}
rm -f "$r.debootstrap.log"

# The root takes the host's suites (updates and security too); services never start in it.
if [ -r "$sources" ]; then
    cp "$sources" "$r/etc/apt/sources.list.d/debian.sources"
    rm -f "$r/etc/apt/sources.list"
fi
printf '#!/bin/sh\nexit 101\n' >"$r/usr/sbin/policy-rc.d"
chmod +x "$r/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$r/etc/resolv.conf" 2>/dev/null || true

tarn_arm64_mount

# A mirror in the middle of a sync fails one index: try again a few times, then go on with the
# indexes that arrived; an install the other suites cannot resolve comes from the release's own.
for try in 1 2 3; do
    if tarn_arm64_run -- apt-get update -q; then break; fi
    if [ "$try" -lt 3 ]; then
        echo "arm64-root: apt-get update failed (try $try of 3); trying again in $retry_pause s" >&2
        sleep "$retry_pause"
    else
        echo "arm64-root: warning: some package indexes could not be fetched; going on" >&2
    fi
done
packages=(wine wine64 fonts-wine)
if tarn_arm64_run -- apt-get install -s -q --no-install-recommends "${packages[@]}" >/dev/null; then
    tarn_arm64_run DEBIAN_FRONTEND=noninteractive -- apt-get install -y -q --no-install-recommends "${packages[@]}"
else
    echo "arm64-root: Wine cannot be resolved from every suite; installing from $suite itself" >&2
    tarn_arm64_run DEBIAN_FRONTEND=noninteractive -- \
        apt-get install -y -q --no-install-recommends -t "$suite" "${packages[@]}"
fi
tarn_arm64_run -- apt-get clean

touch "$TARN_ARM64_READY"
echo "arm64-root: ready"
