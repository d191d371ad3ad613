#!/usr/bin/env bash
# Retakes the screenshots of docs/screenshots/ under Xvfb, from the real tarn_logon.exe wherever
# the program can be brought to the dialog by itself or by a key press:
#   password-logon.png          password dialog at start-up (a PassHash is in the registry)
#   password-set.png            password dialog of "tarn_logon.exe setpass"
#   environment-expanded.png    environment dialog, long form
#   environment-collapsed.png   environment dialog, short form (LessLogonMode=YES)
#   folder-browser.png          "Browse..." of the environment dialog (Alt+B)
#   shutdown.png                "Shut down..." of the environment dialog (Alt+S)
#   shutdown-setup-medium.png   the same with %WinDir%\setupldr.bin present
#   unlock-list.png, unlock.png the list with a drive BitLocker keeps locked (E:, made only when
#                               named), and its unlock prompt, with the test suite's stand-in
#                               manage-bde.exe giving the key ID and three kinds of protector
#   scan.png                    scan dialog, from langpack_preview.exe: Wine does not open the clip
#                               named in the template, so the real program shows it without picture
#   devices.png                 "Devices..." of the environment dialog (Alt+V, German Alt+G), with
#                               its Find drivers button: what
#                               Wine's SetupAPI reports
#   network-settings.png        "Settings..." of the network row (Alt+E, German Alt+R): Wine's
#                               host adapters
#   network-drive.png           "Net drive..." of the tools row (Alt+N, German Alt+F)
#   collect-progress.png        the progress of Collect logs halfway, from langpack_preview.exe: a
#                               real copy of a few logs is over before it can be taken
#   wifi.png                    "Wi-Fi..." of the environment dialog (Alt+I, German Alt+N), with the
#                               test suite's stand-in wlanapi.dll and its networks
# Key presses are sent through the X server's XTEST extension (python3 with ctypes, libXtst).
# Usage: tools/screenshots.sh [name ...]   (without names: all of them)
# TARN_SCREENSHOT_DPI=144 takes them at that scale (LogPixels of the prefix) into
# build/screenshots/dpi<N>/ instead, to check the layout on a scaled display.
# TARN_SCREENSHOT_HIBERNATED=1 plants a hibernation file on the sample disk (its Volume column mark).
# TARN_SCREENSHOT_LANG=de takes them with the German module, as <name>-de.png (the password and
# environment pictures are the ones whose titles match in both languages).
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

out="$TARN_ROOT/docs/screenshots"
dpi="${TARN_SCREENSHOT_DPI:-}"
[ -n "$dpi" ] && out="$TARN_BUILD/screenshots/dpi$dpi"
lang="${TARN_SCREENSHOT_LANG:-}"
module="LangPack${lang:+_$lang}.dll"
work="$TARN_BUILD/screenshots"
bin="$TARN_BUILD/x86/bin"
screen_size="1024x768"
wait_seconds="${SCREENSHOT_TIMEOUT:-30}"

cmake --preset x86 >/dev/null
# Only what the pictures use: the program, both modules, the preview and the probe.
cmake --build --preset x86 --target tarn_logon LangPack LangPack_de langpack_preview probe wlanstub >/dev/null

_program_pid=""
stop_program() {
    if [ -n "$_program_pid" ]; then
        kill "$_program_pid" 2>/dev/null || true
        wait "$_program_pid" 2>/dev/null || true
        _program_pid=""
    fi
}
cleanup() {
    stop_program
    tarn_stop_all
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$out" "$work"
tarn_fresh_prefix "$work/prefix"

tarn_prepare_sample_disk "$work/disk-d"
# TARN_SCREENSHOT_HIBERNATED=1: the sample disk as Fast Startup leaves it, to look at the mark.
[ "${TARN_SCREENSHOT_HIBERNATED:-}" = 1 ] && printf 'HIBR' >"$work/disk-d/hiberfil.sys"

wanted() { [ ${#selected[@]} -eq 0 ] || [[ " ${selected[*]} " == *" $1 "* ]]; }
selected=("$@")

# A drive as BitLocker leaves it locked: the root lists nothing, \\.\E: reads a first sector with
# BitLocker's mark. Made only for its own picture, so the other pictures keep their list.
if wanted unlock && [ ${#selected[@]} -gt 0 ]; then
    mkdir -p "$work/locked-e"
    python3 -c 'import sys; v = bytearray(1 << 20); v[0:11] = b"\xebX\x90-FVE-FS-"; open(sys.argv[1], "wb").write(v)' \
        "$work/locked-e.img"
    ln -sfn "$work/locked-e" "$WINEPREFIX/dosdevices/e:"
    ln -sfn "$work/locked-e.img" "$WINEPREFIX/dosdevices/e::"
    cp "$bin/probe.exe" "$WINEPREFIX/drive_c/windows/system32/manage-bde.exe"
    # A drive with a password and a key file besides its recovery key: the prompt lists all three.
    export TARN_BDE_PROTECTORS=RecoveryPassword,Password,ExternalKey
    export TARN_BDE_KEY_FILE_ID=0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D
fi

pe="$WINEPREFIX/drive_c/TarnPE"
mkdir -p "$pe"
cp "$bin/tarn_logon.exe" "$bin/$module" "$bin/langpack_preview.exe" "$pe/"

tarn_start_xvfb "${screen_size}x24"
tarn_start_wineserver
if [ -n "$dpi" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels \
        /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
fi

tarn_add_samples

if [ ! -f /usr/share/wine/fonts/marlett.ttf ]; then
    echo "screenshots: fonts-wine is not installed; captions show no close box and texts use a substitute for Tahoma" >&2
fi

pass_key='HKLM\Software\Quillon\TarnDesk\1.5'
set_password() {  # on | off
    if [ "$1" = on ]; then
        wine reg add "$pass_key" /v PassHash /t REG_DWORD /d 0x2E4A8F72 /f >/dev/null 2>&1
    else
        wine reg delete "$pass_key" /v PassHash /f >/dev/null 2>&1 || true
    fi
}

# The sample settings, with the short form switched as asked.
write_settings() {  # LessLogonMode value
    sed -e "s/^LessLogonMode=.*/LessLogonMode=$1/" -e "s/^LangModuleName=.*/LangModuleName=$module/" \
        "$TARN_ROOT/config/tarn_logon.ini" >"$pe/tarn_logon.ini"
    grep -q '^LessLogonMode=' "$pe/tarn_logon.ini" || sed -i "1i LessLogonMode=$1" "$pe/tarn_logon.ini"
}

start_program() {  # windows program path, arguments...
    stop_program
    (cd "$pe" && exec wine "$@" </dev/null >/dev/null 2>&1) &
    _program_pid=$!
}

# Prints the id of a viewable top-level window with this exact title and at least this height.
find_window() {  # title, minimum height
    local id
    for id in $(xwininfo -root -children 2>/dev/null | sed -n "s/^ *\(0x[0-9a-f]*\) \"$1\": .*/\1/p"); do
        local info
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        local height
        height=$(sed -n 's/^ *Height: //p' <<<"$info")
        [ "${height:-0}" -ge "${2:-0}" ] && { echo "$id"; return 0; }
    done
    return 1
}

wait_window() {  # title, minimum height
    local deadline=$((SECONDS + wait_seconds)) id
    while [ $SECONDS -lt $deadline ]; do
        if id=$(find_window "$@"); then echo "$id"; return 0; fi
        sleep 0.3
    done
    echo "screenshots: no window \"$1\" within $wait_seconds s" >&2
    return 1
}

shoot() {  # window id, file name
    sleep 1.5  # painting, list filling
    local file="${2%.png}${lang:+-$lang}.png"
    import -window "$1" "$out/$file"
    echo "screenshots: $out/$file"
}

# Presses a key combination, for example "Alt_L+b", into the window that has the X focus.
press() {
    python3 - "$1" <<'EOF'
import ctypes, sys, time
x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XStringToKeysym.restype = ctypes.c_ulong
display = ctypes.c_void_p(x11.XOpenDisplay(None))
if not display:
    sys.exit("press: cannot open the display")
codes = [x11.XKeysymToKeycode(display, ctypes.c_ulong(x11.XStringToKeysym(k.encode()))) for k in sys.argv[1].split("+")]
for code in codes:
    xtst.XTestFakeKeyEvent(display, code, True, 0); x11.XFlush(display); time.sleep(0.05)
for code in reversed(codes):
    xtst.XTestFakeKeyEvent(display, code, False, 0); x11.XFlush(display); time.sleep(0.05)
x11.XCloseDisplay(display)
EOF
}

# Gives the window the X focus by a click on its caption (Wine draws the caption of its
# unmanaged windows itself and activates the window on a click there).
focus() {  # window id
    local x y
    x=$(xwininfo -id "$1" | sed -n 's/^ *Absolute upper-left X: *//p')
    y=$(xwininfo -id "$1" | sed -n 's/^ *Absolute upper-left Y: *//p')
    python3 - "$((x + 60))" "$((y + 8))" <<'EOF'
import ctypes, sys, time
x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
display = ctypes.c_void_p(x11.XOpenDisplay(None))
xtst.XTestFakeMotionEvent(display, -1, int(sys.argv[1]), int(sys.argv[2]), 0); x11.XFlush(display); time.sleep(0.1)
xtst.XTestFakeButtonEvent(display, 1, True, 0); x11.XFlush(display); time.sleep(0.05)
xtst.XTestFakeButtonEvent(display, 1, False, 0); x11.XFlush(display); time.sleep(0.3)
x11.XCloseDisplay(display)
EOF
}

# The environment dialog is about 375 px high in its long form and 295 px in its short form
# (Wine's Tahoma); the scan dialog, with the same title, is much lower.
env_long=300
env_short=220

if wanted password-logon; then
    write_settings NO; set_password on
    start_program 'C:\TarnPE\tarn_logon.exe'
    dialog=$(wait_window "Tarn Logon")
    focus "$dialog"; for key in s e c r e t; do press "$key"; done
    shoot "$dialog" password-logon.png
    stop_program; set_password off
fi

if wanted password-set; then
    write_settings NO
    start_program 'C:\TarnPE\tarn_logon.exe' setpass
    dialog=$(wait_window "Set Access Password")
    focus "$dialog"
    for key in s e c r e t; do press "$key"; done
    shoot "$dialog" password-set.png
    stop_program
fi

if wanted scan; then
    start_program 'C:\TarnPE\langpack_preview.exe' 2800
    shoot "$(wait_window "Tarn Logon")" scan.png
    stop_program
fi

if wanted collect-progress; then
    start_program 'C:\TarnPE\langpack_preview.exe' --module "C:\\TarnPE\\$module" 2960
    if [ "$lang" = de ]; then title="Protokolle sichern"; else title="Collect Logs"; fi
    shoot "$(wait_window "$title")" collect-progress.png
    stop_program
fi

if wanted environment-expanded || wanted folder-browser || wanted shutdown || wanted devices ||
    wanted network-settings || wanted network-drive; then
    write_settings NO
    start_program 'C:\TarnPE\tarn_logon.exe'
    dialog=$(wait_window "Tarn Logon" $env_long)
    focus "$dialog"; press Down  # the first installation: the folder fills in, OK is enabled
    wanted environment-expanded && shoot "$dialog" environment-expanded.png
    if wanted folder-browser; then
        press Alt_L+b
        shoot "$(wait_window "Select the Windows folder")" folder-browser.png
        press Escape; sleep 1
    fi
    if wanted shutdown; then
        focus "$dialog"; press Alt_L+s
        shoot "$(wait_window "Shut Down")" shutdown.png
        press Escape; sleep 1
    fi
    if wanted devices; then
        # The umlaut reaches xwininfo in one encoding or another: matched by a pattern.
        if [ "$lang" = de ]; then key=g; title="Ger.*te"; else key=v; title="Devices"; fi
        focus "$dialog"; press "Alt_L+$key"
        shoot "$(wait_window "$title")" devices.png
        press Escape; sleep 1
    fi
    if wanted network-settings; then
        if [ "$lang" = de ]; then key=r; title="Netzwerkeinstellungen"; else key=e; title="Network Settings"; fi
        focus "$dialog"; press "Alt_L+$key"
        shoot "$(wait_window "$title")" network-settings.png
        press Escape; sleep 1
    fi
    if wanted network-drive; then
        if [ "$lang" = de ]; then key=f; title="Netzlaufwerk"; else key=n; title="Network Drive"; fi
        focus "$dialog"; press "Alt_L+$key"
        shoot "$(wait_window "$title")" network-drive.png
        press Escape; sleep 1
    fi
    stop_program
fi

if wanted shutdown-setup-medium; then
    write_settings NO
    touch "$WINEPREFIX/drive_c/windows/setupldr.bin"
    start_program 'C:\TarnPE\tarn_logon.exe'
    dialog=$(wait_window "Tarn Logon" $env_long)
    focus "$dialog"; press Alt_L+s
    shoot "$(wait_window "Shut Down")" shutdown-setup-medium.png
    stop_program
    rm -f "$WINEPREFIX/drive_c/windows/setupldr.bin"
fi

if wanted unlock && [ ${#selected[@]} -gt 0 ]; then
    write_settings NO
    start_program 'C:\TarnPE\tarn_logon.exe'
    dialog=$(wait_window "Tarn Logon" $env_long)
    focus "$dialog"; press End; press Up  # the locked drive, last before the no-target entry
    shoot "$dialog" unlock-list.png
    press Return
    prompt=$(wait_window "Unlock BitLocker Drive")
    for key in 4 6 6 8 9 5 minus 2 1 7 4 9 2 minus; do press "$key"; done
    shoot "$prompt" unlock.png
    stop_program
fi

if wanted environment-collapsed; then
    write_settings YES
    start_program 'C:\TarnPE\tarn_logon.exe'
    dialog=$(wait_window "Tarn Logon" $env_short)
    focus "$dialog"; press Down
    shoot "$dialog" environment-collapsed.png
    stop_program
fi

if wanted wifi; then
    write_settings NO
    cp "$bin/wlanstub.dll" "$pe/wlanapi.dll"
    WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}wlanapi=n" start_program 'C:\TarnPE\tarn_logon.exe'
    dialog=$(wait_window "Tarn Logon" $env_long)
    if [ "$lang" = de ]; then key=n; title="WLAN"; else key=i; title="Wi-Fi"; fi
    focus "$dialog"; press "Alt_L+$key"
    shoot "$(wait_window "$title")" wifi.png
    press Escape; sleep 1
    stop_program
    rm -f "$pe/wlanapi.dll"
fi
