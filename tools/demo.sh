#!/usr/bin/env bash
# Builds Tarn Logon and runs it as a PE boot would, in a Wine virtual desktop.
#   With $DISPLAY: the desktop opens on your screen; close it (or press Ctrl+C) to stop.
#   Without:       runs under its own Xvfb for DEMO_SECONDS (default 12) and saves a
#                  screenshot of what the operator sees to build/demo/screen.png, and the
#                  run log to build/demo/tarn_logon.log.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

cmake --preset x86 >/dev/null
cmake --build --preset x86

demo="$TARN_BUILD/demo"
mkdir -p "$demo"
trap tarn_stop_all EXIT
trap 'exit 130' INT TERM

tarn_fresh_prefix "$demo/prefix"

tarn_prepare_sample_disk "$demo/disk-d"

pe="$WINEPREFIX/drive_c/TarnPE"
mkdir -p "$pe"
cp "$TARN_BUILD/x86/bin/tarn_logon.exe" "$TARN_BUILD/x86/bin/LangPack.dll" "$pe/"
cp "$TARN_ROOT/config/tarn_logon.ini" "$pe/"

desktop_size="1024x768"
# Started through "start" so that it has no Unix standard handles: Wine hands those down to
# console shells, which then read end-of-file and end at once instead of opening a console.
launch=(wine explorer "/desktop=TarnLogon,$desktop_size" cmd /c start "" 'C:\TarnPE\tarn_logon.exe')
cd "$pe"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    tarn_start_wineserver
    tarn_add_samples
    echo "demo: Tarn Logon runs in a Wine desktop window; close it to stop."
    "${launch[@]}" </dev/null >/dev/null 2>&1 || true
    exit 0
fi

seconds="${DEMO_SECONDS:-12}"
tarn_start_xvfb "${desktop_size}x24"
tarn_start_wineserver
tarn_add_samples
echo "demo: no display; running under Xvfb for $seconds s"
"${launch[@]}" </dev/null >/dev/null 2>&1 &
sleep "$seconds"
import -window root "$demo/screen.png"
echo "demo: screenshot saved to $demo/screen.png"
# The run log lands in the Wine user's %TEMP%, as on a PE boot it lands on the RAM drive.
log=$(find "$WINEPREFIX/drive_c/users" -name tarn_logon.log -print -quit 2>/dev/null || true)
if [ -n "$log" ]; then
    cp "$log" "$demo/tarn_logon.log"
    echo "demo: run log saved to $demo/tarn_logon.log"
fi
