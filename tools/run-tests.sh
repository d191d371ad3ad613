#!/usr/bin/env bash
# Builds, then runs the whole test suite under Wine, for each build in TARN_ARCHS (default:
# "x86 x64 x64-clang"; x64-clang is the x64 program from Zig's clang and libc++, a second
# compiler over every line), each in a fresh prefix of its kind, with one X server for all.
# Everything it starts is stopped again, also when tests fail or the run is interrupted.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

archs="${TARN_ARCHS:-x86 x64 x64-clang}"

# The platform-free decisions first, natively under AddressSanitizer and UBSan: cheap, and they
# catch memory faults that Wine would not show. Then a short fuzz pass over the same code
# (TARN_CI_FUZZ_SECONDS per target, 0 skips it); make fuzz runs longer.
echo "=== portable code under sanitizers ==="
(cd "$TARN_ROOT" && tools/native-build.sh && ctest --preset native -j "$(nproc)")
fuzz_seconds="${TARN_CI_FUZZ_SECONDS:-5}"
if [ "$fuzz_seconds" -gt 0 ]; then
    echo "=== short fuzz pass, $fuzz_seconds s per target ==="
    TARN_FUZZ_SECONDS="$fuzz_seconds" "$TARN_ROOT/tools/fuzz.sh"
fi

# The x64 suites compare the ARM64 language modules with their own, byte for byte: the ARM64
# build comes first, and its modules go next to each x64 test program (bin/arm64), which then
# must find them (TARN_REQUIRE_ARM64).
builds="$archs"
if [[ " $archs " == *" x64"* && " $archs " != *" arm64 "* ]]; then builds="arm64 $archs"; fi
for arch in $builds; do
    cmake --preset "$arch" >/dev/null
    cmake --build --preset "$arch"
done
for arch in x64 x64-clang; do
    if [[ " $archs " == *" $arch "* ]]; then
        rm -rf "$TARN_BUILD/$arch/bin/arm64"
        mkdir -p "$TARN_BUILD/$arch/bin/arm64"
        cp "$TARN_BUILD"/arm64/bin/LangPack*.dll "$TARN_BUILD/$arch/bin/arm64/"
    fi
done

# tools/tarn-pe, and the zipapp the archives ship, on a small Windows PE image made on the spot;
# hivex's binding lives in the Debian system Python, which a python3 earlier on PATH may not see.
# A few seconds.
status=0
echo "=== tarn-pe on a generated Windows PE image ==="
(cd "$TARN_ROOT/tests/tarn_pe" && /usr/bin/python3 -B test_tarn_pe.py) || status=1
echo "=== install-deps' decisions against a mirror mid-sync ==="
/usr/bin/python3 -B "$TARN_ROOT/tests/deps/test_install_deps.py" || status=1

trap tarn_stop_all EXIT
trap 'exit 130' INT TERM
tarn_start_xvfb

# A test that fails gets one more try, as its own ctest run, so that nothing is retried silently:
# the failed try's output stays in the log above, and the names of every retried test are listed
# at the end and in build/test-retries.txt. A retry that passes still points at a fault to find.
retries_file="$TARN_BUILD/test-retries.txt"
: >"$retries_file"

# One ctest run of a build's tests ($1: label, $2: preset, then ctest's arguments), with the
# second try of whatever failed. Sets status=1 on a failure that stays.
run_suite() {
    local label="$1" preset="$2" first again name
    shift 2
    local failed_list="$TARN_BUILD/$preset/Testing/Temporary/LastTestsFailed.log"
    rm -f "$failed_list"
    ctest --preset "$preset" -j "$(nproc)" "$@" && return 0
    # ctest writes "number:name" for each failed test; none listed means it did not get as far
    # as running tests, and there is nothing to retry.
    first=$(cut -d: -f2- "$failed_list" 2>/dev/null || true)
    if [ -z "$first" ]; then
        status=1
        return 0
    fi
    echo "=== second try of the $label tests that failed ==="
    # ctest leaves the list alone when every test passes, so only a failed run has one.
    again=""
    if ! ctest --preset "$preset" --rerun-failed "$@"; then
        status=1
        again=$(cut -d: -f2- "$failed_list" 2>/dev/null || true)
    fi
    while IFS= read -r name; do
        if grep -qxF "$name" <<<"$again"; then
            echo "$label $name (failed again)" >>"$retries_file"
        else
            echo "$label $name" >>"$retries_file"
        fi
    done <<<"$first"
}

# The ARM64 files cannot run here (the emulated smoke test aside): what can be read of them is.
if [[ " $builds " == *" arm64 "* ]]; then
    echo "=== the arm64 files: headers, imports, manifest, resources ==="
    run_suite arm64 arm64
fi

for arch in $archs; do
    [ "$arch" = arm64 ] && continue
    echo "=== tests of the $arch build ==="
    tarn_select_arch "$arch"
    # Only the x64 suites have the ARM64 modules beside them, and there they must be found.
    if [[ "$arch" == x64* ]]; then export TARN_REQUIRE_ARM64=1; else unset TARN_REQUIRE_ARM64; fi
    tarn_fresh_prefix "$TARN_BUILD/wine/test-run-$arch"
    tarn_start_wineserver
    tarn_mark_windows_pe
    run_suite "$arch" "$arch" "$@"
    # The 32-bit build also runs on 64-bit Windows, where the registry shows it a 32-bit copy of
    # HKLM\Software: its end-to-end registry case, run once more in this 64-bit prefix.
    if [ "$arch" = x64 ] && [[ " $archs " == *" x86 "* ]]; then
        echo "=== the x86 build on 64-bit Windows ==="
        run_suite "x86-on-x64" x86 -R '^Wow64LogonTest\.'
    fi
    tarn_stop_wineserver
done
# The ARM64 build under emulation, after the others: a few end-to-end cases of its own aarch64
# test program under arm64 Wine (tools/run-arm64-smoke.sh). A run filtered to some tests is
# a focused one and leaves it out unless TARN_ARM64_SMOKE=1; TARN_ARM64_SMOKE=0 always does.
arm64_smoke="${TARN_ARM64_SMOKE:-auto}"
smoke_left_out="TARN_ARM64_SMOKE=$arm64_smoke"
if [ "$arm64_smoke" = auto ]; then
    arm64_smoke=$([ $# -eq 0 ] && echo 1 || echo 0)
    smoke_left_out="a filtered run; TARN_ARM64_SMOKE=1 runs it"
fi
if [ "$arm64_smoke" = 1 ]; then
    echo "=== the ARM64 build under emulation ==="
    if cmake --preset arm64 >/dev/null && cmake --build --preset arm64; then
        "$TARN_ROOT/tools/run-arm64-smoke.sh" || status=1
    else
        echo "ARM64 smoke: FAILED: the arm64 build did not build"
        status=1
    fi
else
    echo "ARM64 smoke: left out ($smoke_left_out)"
fi
if [ -s "$retries_file" ]; then
    echo "Retried: $(paste -sd, "$retries_file" | sed 's/,/, /g')"
else
    echo "Retried: none"
fi
exit $status
