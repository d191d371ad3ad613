#!/usr/bin/env bash
# Builds Tarn Logon and runs it as a PE boot would, in a Wine virtual desktop.
#   With $DISPLAY: the desktop opens on your screen; close it (or press Ctrl+C) to stop.
#   Without:       runs under its own Xvfb for DEMO_SECONDS (default 12) and saves a
#                  screenshot of what the operator sees to build/demo/screen.png.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

cmake --preset x86 >/dev/null
cmake --build --preset x86

demo="$TARN_BUILD/demo"
mkdir -p "$demo"
trap tarn_stop_all EXIT
trap 'exit 130' INT TERM

tarn_fresh_prefix "$demo/prefix"

# A second fixed disk, D:, with three installations to find. The drive letter must exist before
# the wineserver starts, or Wine lists it only after a restart.
disk="$demo/disk-d"
rm -rf "$disk"
for folder in Windows WINNT Windows.old Data Tools; do mkdir -p "$disk/$folder"; done
for folder in Windows WINNT Windows.old; do mkdir -p "$disk/$folder/system32/config"; done
ln -sfn "$disk" "$WINEPREFIX/dosdevices/d:"

make_hive() {  # folder, product name, optional service pack
    local args=("make-hive=D:\\$1\\system32\\config\\software" "product=$2")
    [ -n "${3:-}" ] && args+=("csd=$3")
    wine "$TARN_BUILD/x86/bin/probe.exe" "${args[@]}" </dev/null >/dev/null 2>&1
}

pe="$WINEPREFIX/drive_c/TarnPE"
mkdir -p "$pe"
cp "$TARN_BUILD/x86/bin/tarn_logon.exe" "$TARN_BUILD/x86/bin/LangPack.dll" "$pe/"
cp "$TARN_ROOT/config/tarn_logon.ini" "$pe/"

desktop_size="1024x768"
add_layout() {  # identifier, file, text: a layout as a PE image lists it (Wine's prefix has none)
    local key='HKLM\System\CurrentControlSet\Control\Keyboard Layouts\'"$1"
    wine reg add "$key" /v "Layout File" /d "$2" /f </dev/null >/dev/null 2>&1
    wine reg add "$key" /v "Layout Text" /d "$3" /f </dev/null >/dev/null 2>&1
    [ -e "$WINEPREFIX/drive_c/windows/system32/$2" ] || : >"$WINEPREFIX/drive_c/windows/system32/$2"
}

add_samples() {
    add_layout 00000409 kbdus.dll "US"
    add_layout 00000407 kbdgr.dll "German"
    add_layout 0000040C kbdfr.dll "French"
    make_hive Windows "Windows 10 Pro"
    make_hive WINNT "Microsoft Windows XP" "Service Pack 3"
    make_hive Windows.old "Windows 7 Ultimate" "Service Pack 1"
}
# Started through "start" so that it has no Unix standard handles: Wine hands those down to
# console shells, which then read end-of-file and end at once instead of opening a console.
launch=(wine explorer "/desktop=TarnLogon,$desktop_size" cmd /c start "" 'C:\TarnPE\tarn_logon.exe')
cd "$pe"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    tarn_start_wineserver
    add_samples
    echo "demo: Tarn Logon runs in a Wine desktop window; close it to stop."
    "${launch[@]}" </dev/null >/dev/null 2>&1 || true
    exit 0
fi

seconds="${DEMO_SECONDS:-12}"
tarn_start_xvfb "${desktop_size}x24"
tarn_start_wineserver
add_samples
echo "demo: no display; running under Xvfb for $seconds s"
"${launch[@]}" </dev/null >/dev/null 2>&1 &
sleep "$seconds"
import -window root "$demo/screen.png"
echo "demo: screenshot saved to $demo/screen.png"
