#!/usr/bin/env bash
# Builds, then runs the whole test suite under Wine, for each architecture in TARN_ARCHS
# (default: "x86 x64"), each in a fresh prefix of its kind, with one X server for all.
# Everything it starts is stopped again, also when tests fail or the run is interrupted.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

archs="${TARN_ARCHS:-x86 x64}"
for arch in $archs; do
    cmake --preset "$arch" >/dev/null
    cmake --build --preset "$arch"
done

trap tarn_stop_all EXIT
trap 'exit 130' INT TERM
tarn_start_xvfb

status=0
for arch in $archs; do
    echo "=== tests of the $arch build ==="
    tarn_select_arch "$arch"
    tarn_fresh_prefix "$TARN_BUILD/wine/test-run-$arch"
    tarn_start_wineserver
    ctest --preset "$arch" -j "$(nproc)" "$@" || status=1
    tarn_stop_wineserver
done
exit $status
