#!/usr/bin/env bash
# The ARM64 build's smoke run, under emulation: its own aarch64 test program runs a few of the
# suite's end-to-end cases under Debian's arm64 Wine, in the arm64 root that tools/arm64-root.sh
# sets up (once), on an Xvfb of its own. The cases are the real program from its first dialog
# to Quit with the shipped module (a planted installation listed under its name, a shell with
# TARGET_ROOT, the dialog again, the module's shutdown dialog) and C++ exceptions thrown and
# caught inside the program and across a dialog procedure, which ARM64 unwinds by other rules.
# Everything it mounts or starts is undone again, also when it fails or is interrupted; a run
# of another checkout waits for this one. Needs root; about a minute with a warm cache.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    exec sudo --preserve-env=TARN_CACHE,XDG_CACHE_HOME,HOME "$0" "$@"
fi
source "$(dirname "$0")/wine-env.sh"
source "$(dirname "$0")/arm64-env.sh"

cases="${TARN_ARM64_CASES:-EnvironmentLogonTest.ChosenInstallationReachesTheShellAndTheDialogComesBack:BadInputLogonTest.UnreadableStoredHashLetsNobodyIn:FatalErrorBox.NamesTheErrorAndEndsWithExitCodeOne}"
bin="$TARN_BUILD/arm64/bin"
started=$(date +%s)

say() { echo "ARM64 smoke: $*"; }

if [ ! -e "$bin/tarn_tests.exe" ] || [ ! -e "$bin/tarn_logon.exe" ]; then
    say "FAILED: no ARM64 build in $bin (cmake --preset arm64 && cmake --build --preset arm64)"
    exit 1
fi
"$TARN_ROOT/tools/arm64-root.sh"

r="$TARN_ARM64_ROOT"
exec 9>"$r.lock"
flock 9

in_root() {  # in_root command...: under the root's Wine, in the run's prefix, on this run's X server
    tarn_arm64_run "DISPLAY=$DISPLAY" "WINEPREFIX=/root/run-prefix" WINEDEBUG=-all \
        "WINEDLLOVERRIDES=mscoree,mshtml=" -- "$@"
}
cleanup() {
    if [ -d "$r/root/run-prefix" ] && [ -n "$(_tarn_arm64_mounted)" ]; then
        in_root wineserver -k >/dev/null 2>&1 || true
    fi
    tarn_arm64_umount || say "warning: mounts under $r are still in place"
    tarn_stop_all
}
trap cleanup EXIT
trap 'exit 130' INT TERM

tarn_arm64_mount
tarn_start_xvfb

# A template prefix, made once and kept in the root: wineboot under qemu takes about 20 s. Wine
# under qemu does not find the fonts in /usr/share/wine/fonts, so they go into windows\Fonts.
template="$r/root/template-prefix"
if [ ! -e "$template/.tarn-ready" ]; then
    say "creating the template prefix (once)"
    rm -rf "$template"
    tarn_arm64_run "DISPLAY=$DISPLAY" WINEPREFIX=/root/template-prefix WINEDEBUG=-all \
        "WINEDLLOVERRIDES=mscoree,mshtml=" -- sh -c '
        wine wineboot --init >/dev/null 2>&1
        # Unmanaged X windows, and a crashing program ends rather than waiting in a dialog, as
        # in the other suites prefixes (tools/wine-env.sh).
        wine reg add "HKCU\Software\Wine\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
        wine reg add "HKCU\Software\Wine\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wineserver -w'
    cp -n "$r"/usr/share/wine/fonts/*.ttf "$template/drive_c/windows/Fonts/"
    touch "$template/.tarn-ready"
fi

rm -rf "$r/root/run-prefix" "$r/root/tarn-bin"
cp -a "$template" "$r/root/run-prefix"
mkdir -p "$r/root/tarn-bin"
cp "$bin"/*.exe "$bin"/*.dll "$r/root/tarn-bin/"
cp "$bin"/*.ini "$bin"/*.hiv "$r/root/tarn-bin/" 2>/dev/null || true

say "running $cases"
in_root wineserver -p
in_root wine reg add 'HKLM\System\CurrentControlSet\Control\MiniNT' /f >/dev/null 2>&1
status=0
output="$r/root/smoke-output.txt"
timeout 600 chroot "$r" /usr/bin/env -i HOME=/root PATH=/usr/bin:/bin LANG=C.UTF-8 "DISPLAY=$DISPLAY" \
    WINEPREFIX=/root/run-prefix WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" \
    wine /root/tarn-bin/tarn_tests.exe "--gtest_filter=$cases" </dev/null 2>&1 | tee "$output" || status=$?
# A case renamed away would leave the filter matching nothing, which GoogleTest counts as passed.
wanted=$(tr ':' '\n' <<<"$cases" | grep -c .)
passed=$(grep -c '^\[       OK \]' "$output" || true)
if [ "$status" -eq 0 ] && [ "$passed" -ne "$wanted" ]; then
    say "$passed of the $wanted cases ran and passed"
    status=1
fi
if [ "$status" -eq 0 ]; then
    say "passed in $(($(date +%s) - started)) s"
else
    say "FAILED (exit code $status) after $(($(date +%s) - started)) s"
fi
exit "$status"
