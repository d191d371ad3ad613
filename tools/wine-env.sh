# Shared by the test and demo scripts: a Wine prefix, an X server and a wineserver that the
# calling script owns and stops again. Source it; it defines functions only.

TARN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TARN_BUILD="$TARN_ROOT/build"
TARN_ARCH="${TARN_ARCH:-x86}"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The build architecture picks the prefix kind: 32-bit programs run in a win32 prefix (half the
# size, no registry redirection), 64-bit ones in a win64 prefix.
tarn_select_arch() {
    TARN_ARCH="$1"
    # x64-clang is the x64 program from the second compiler: the same kind of prefix.
    case "$TARN_ARCH" in
        x86) export WINEARCH=win32; TARN_TEMPLATE="$TARN_BUILD/wine/template-x86" ;;
        x64 | x64-clang) export WINEARCH=win64; TARN_TEMPLATE="$TARN_BUILD/wine/template-x64" ;;
        *) echo "wine-env: unknown architecture $TARN_ARCH" >&2; return 1 ;;
    esac
}
tarn_select_arch "$TARN_ARCH"

_tarn_xvfb_pid=""
_tarn_prefix=""

# A pristine 32-bit prefix, made once (wineboot takes several seconds) and copied for each run.
tarn_ensure_template() {
    [ -f "$TARN_TEMPLATE/.tarn-ready" ] && return 0
    rm -rf "$TARN_TEMPLATE"
    mkdir -p "$(dirname "$TARN_TEMPLATE")"
    echo "wine: creating the template prefix (once)"
    WINEPREFIX="$TARN_TEMPLATE" wineboot -i >/dev/null 2>&1
    # Unmanaged X windows: without a window manager, hiding a managed window waits ~2 s.
    WINEPREFIX="$TARN_TEMPLATE" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # A crashing program must end, not wait in the debugger's dialog.
    WINEPREFIX="$TARN_TEMPLATE" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    WINEPREFIX="$TARN_TEMPLATE" wineserver -w
    touch "$TARN_TEMPLATE/.tarn-ready"
}

# A fresh copy of the template at $1; exported as WINEPREFIX.
tarn_fresh_prefix() {
    tarn_ensure_template
    _tarn_prefix="$1"
    # A server left from an interrupted run would outlive its prefix, unreachable once the
    # prefix is replaced.
    if [ -d "$_tarn_prefix" ]; then WINEPREFIX="$_tarn_prefix" wineserver -k >/dev/null 2>&1 || true; fi
    rm -rf "$_tarn_prefix"
    mkdir -p "$(dirname "$_tarn_prefix")"
    cp -a "$TARN_TEMPLATE" "$_tarn_prefix"
    export WINEPREFIX="$_tarn_prefix"
}

# Starts Xvfb on a free display (the server picks it) and exports DISPLAY.
tarn_start_xvfb() {
    local size="${1:-1280x1024x24}" fifo display
    fifo=$(mktemp -u) && mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    _tarn_xvfb_pid=$!
    read -r -t 20 display <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$display" ]; then
        echo "wine-env: Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$display"
}

# A persistent wineserver for the prefix, so that each Wine process starts in a fraction of a second.
tarn_start_wineserver() {
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1 || true  # bring up the services once
}

# Makes the prefix look like Windows PE to the program (the key only Windows PE has), so the
# tests meet its start-up and autorun as a PE boot does; tests of a full Windows remove it for a
# while. Needs the running wineserver.
tarn_mark_windows_pe() {
    wine reg add 'HKLM\System\CurrentControlSet\Control\MiniNT' /f </dev/null >/dev/null 2>&1
}

# Stops the current prefix's wineserver and every process it serves.
tarn_stop_wineserver() {
    if [ -n "$_tarn_prefix" ]; then
        WINEPREFIX="$_tarn_prefix" wineserver -k >/dev/null 2>&1 || true
    fi
}

# Stops what the functions above started: the prefix's wineserver (and its processes) and Xvfb.
tarn_stop_all() {
    tarn_stop_wineserver
    if [ -n "$_tarn_xvfb_pid" ]; then
        kill "$_tarn_xvfb_pid" 2>/dev/null || true
        wait "$_tarn_xvfb_pid" 2>/dev/null || true
        _tarn_xvfb_pid=""
    fi
}

# A second fixed disk D: labelled "OS" at $1 with four folders that look like Windows installations
# and two that do not. The letter must exist before the wineserver starts, or Wine lists it only
# after a restart; Wine reads the label from .windows-label when it defines the drive.
tarn_prepare_sample_disk() {
    local disk="$1" folder
    rm -rf "$disk"
    for folder in Windows WINNT Windows.old Windows7 Data Tools; do mkdir -p "$disk/$folder"; done
    for folder in Windows WINNT Windows.old Windows7; do mkdir -p "$disk/$folder/system32/config"; done
    printf 'OS' >"$disk/.windows-label"
    ln -sfn "$disk" "$WINEPREFIX/dosdevices/d:"
}

# The sample installations' hives, written in the registry file format by hivex
# (tests/support/make_hive.py), with the values of their Windows generation and their own time
# zones, and the head of each one's kernel, which tells its processor; three keyboard layouts
# (Wine's prefix has none; a PE image has them, with their layout files in the system folder).
# Needs the running wineserver.
tarn_add_samples() {
    _tarn_reg_hive() {  # folder, hive name, then the .reg lines of its keys
        local file="$WINEPREFIX/dosdevices/d:/$1/system32/config/$2"
        shift 2
        printf '%s\n' "$@" >"$file.reg"
        /usr/bin/python3 "$TARN_ROOT/tests/support/make_hive.py" "$file" "$file.reg"
        rm -f "$file.reg"
    }
    _tarn_hive() {  # folder, product, build, then version values (as .reg lines)
        local folder="$1" product="$2" build="$3"
        shift 3
        _tarn_reg_hive "$folder" software '[Microsoft\Windows NT\CurrentVersion]' "\"ProductName\"=\"$product\"" \
            "\"CurrentBuildNumber\"=\"$build\"" "\"CurrentBuild\"=\"$build\"" "$@"
    }
    _tarn_zone() {  # folder, zone key name, then more zone values (as .reg lines)
        local folder="$1" zone="$2"
        shift 2
        _tarn_reg_hive "$folder" system '[Select]' '"Current"=dword:00000001' \
            '[ControlSet001\Control\TimeZoneInformation]' "\"TimeZoneKeyName\"=\"$zone\"" "$@"
    }
    _tarn_kernel() {  # folder, PE machine in hex (14c: x86, 8664: x64, aa64: ARM64)
        python3 - "$WINEPREFIX/dosdevices/d:/$1/system32/ntoskrnl.exe" "$2" <<'EOF'
import struct, sys
head = bytearray(1024)
head[0:2] = b"MZ"
head[0x3C:0x40] = struct.pack("<I", 0xF8)
head[0xF8:0xFE] = b"PE\0\0" + struct.pack("<H", int(sys.argv[2], 16))
open(sys.argv[1], "wb").write(head)
EOF
    }
    _tarn_layout() {  # identifier, file, text
        local key='HKLM\System\CurrentControlSet\Control\Keyboard Layouts\'"$1"
        wine reg add "$key" /v "Layout File" /d "$2" /f </dev/null >/dev/null 2>&1
        wine reg add "$key" /v "Layout Text" /d "$3" /f </dev/null >/dev/null 2>&1
        [ -e "$WINEPREFIX/drive_c/windows/system32/$2" ] || : >"$WINEPREFIX/drive_c/windows/system32/$2"
    }
    # Windows 11 still names itself "Windows 10" in ProductName; its build number tells.
    _tarn_hive Windows "Windows 10 Pro" 22631 '"DisplayVersion"="23H2"' '"ReleaseId"="2009"'
    _tarn_hive Windows.old "Windows 10 Pro" 19045 '"DisplayVersion"="22H2"' '"ReleaseId"="2009"'
    _tarn_hive Windows7 "Windows 7 Ultimate" 7601 '"CSDVersion"="Service Pack 1"'
    _tarn_hive WINNT "Microsoft Windows XP" 2600 '"CSDVersion"="Service Pack 3"'
    # Each installation's own time zone; the Windows 7 one shares its computer with Linux, whose
    # hardware clock holds UTC.
    _tarn_zone Windows "W. Europe Standard Time"
    _tarn_zone Windows.old "GMT Standard Time"
    _tarn_zone Windows7 "Eastern Standard Time" '"RealTimeIsUniversal"=dword:00000001'
    _tarn_kernel Windows 8664
    _tarn_kernel Windows.old 8664
    _tarn_kernel Windows7 8664
    _tarn_kernel WINNT 14c
    _tarn_layout 00000409 kbdus.dll "US"
    _tarn_layout 00000407 kbdgr.dll "German"
    _tarn_layout 0000040C kbdfr.dll "French"
}
