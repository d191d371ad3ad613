#!/usr/bin/env bash
# Runs each fuzz target for a bounded time: TARN_FUZZ_SECONDS (default 60) per target, the
# targets named as arguments or all of them. The corpus in tests/fuzz/corpus/<target> is the
# read-only seed; inputs found to add coverage go to build/fuzz/corpus/<target>, and an input
# that breaks a target is kept as build/fuzz/crashes/<target>/crash-* and fails the command.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds="${TARN_FUZZ_SECONDS:-60}"

"$root/tools/native-build.sh" >/dev/null

# The build lists the targets it makes (tests/fuzz/CMakeLists.txt); no second list to forget.
list="$root/build/native/fuzz/targets.txt"
[ -s "$list" ] || { echo "fuzz: $list is missing; the native build did not list its targets" >&2; exit 2; }
targets="${*:-$(tr '\n' ' ' <"$list")}"

out="$root/build/fuzz"
failed=()
printf '%-14s %10s %7s %6s %6s %8s  %s\n' target executions seconds cov ft corpus result
for target in $targets; do
    binary="$root/build/native/fuzz/fuzz_$target"
    seed="$root/tests/fuzz/corpus/$target"
    [ -x "$binary" ] && [ -d "$seed" ] || { echo "fuzz: unknown target $target" >&2; exit 2; }
    mkdir -p "$out/corpus/$target" "$out/crashes/$target" "$out/logs"
    log="$out/logs/$target.log"
    dict=()
    [ -f "$root/tests/fuzz/$target.dict" ] && dict=(-dict="$root/tests/fuzz/$target.dict")

    result=ok
    # The first folder receives new inputs; the seed folder is only read.
    "$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$out/crashes/$target/" "${dict[@]}" \
        "$out/corpus/$target" "$seed" >"$log" 2>&1 || result=FAILED

    runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 \2/p' "$log" | tail -1)
    status=$(grep -E '^#[0-9]+' "$log" | grep ' cov: ' | tail -1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$status")
    corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$status")
    if [ "$result" != ok ]; then
        runs=$(sed -n 's/^stat::number_of_executed_units: //p' "$log" | tail -1)
        failed+=("$target")
    fi
    printf '%-14s %10s %7s %6s %6s %8s  %s\n' "$target" "${runs%% *}" "$([ -n "${runs#* }" ] && [ "$result" = ok ] && echo "${runs#* }" || echo -)" \
        "${cov:--}" "${ft:--}" "${corp:--}" "$result"
    if [ "$result" != ok ]; then
        grep -E 'invariant broken|ERROR: |runtime error|Test unit written' "$log" | sed 's/^/    /' || true
        echo "    log: $log"
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: broken targets: ${failed[*]}; replay a reproducer with build/native/fuzz/fuzz_<target> <file>" >&2
    exit 1
fi
