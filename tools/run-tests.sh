#!/usr/bin/env bash
# Builds, then runs the whole test suite under Wine in a fresh prefix with its own X server.
# Everything it starts is stopped again, also when tests fail or the run is interrupted.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

cmake --preset x86 >/dev/null
cmake --build --preset x86

trap tarn_stop_all EXIT
trap 'exit 130' INT TERM

tarn_fresh_prefix "$TARN_BUILD/wine/test-run"
tarn_start_xvfb
tarn_start_wineserver

ctest --preset x86 -j "$(nproc)" "$@"
