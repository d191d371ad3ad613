#!/usr/bin/env bash
# `make bench`: builds, then measures what the operator waits for and what the logon shell costs
# while a shell runs, under Wine and its own Xvfb, in a fresh prefix, and prints one table.
# Every figure that has a goal is set against a baseline measured in the same run, because
# absolute times on a shared machine are noisy while ratios hold.
#   BENCH_RUNS   samples per measurement (default 7)
#   BENCH_ARCH   x86 (default, the deliverable), x64, or x64-clang (the x64 program from Zig's clang)
#   BENCH_KEEP_AWAKE  1 (default): a lowest-priority busy loop on one processor for the run; 0: none
#   BENCH_ONLY   one part only: session (start, idle, hot keys, catalogues, start-up, password),
#                scan, repeat or drivers; the table then lists the other figures as "no data"
# Raw samples and the table are kept in build/bench-<arch>/.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

runs="${BENCH_RUNS:-7}"
only="${BENCH_ONLY:-}"
case "$only" in "" | session | scan | repeat | drivers) ;; *) echo "bench: BENCH_ONLY=$only is none of session, scan, repeat, drivers" >&2; exit 2 ;; esac
part() { [ -z "$only" ] || [ "$only" = "$1" ]; }
tarn_select_arch "${BENCH_ARCH:-x86}"

cmake --preset "$TARN_ARCH" >/dev/null
cmake --build --preset "$TARN_ARCH" -j2
bin="$TARN_BUILD/$TARN_ARCH/bin"
out="$TARN_BUILD/bench-$TARN_ARCH"
mkdir -p "$out"
results="$out/results.txt"
errors="$out/stderr.txt"
: >"$results"
: >"$errors"

# Under Wine every registry call, hive load and window message is a round trip to the wineserver
# process. On a virtual machine whose processors are idle, each round trip also pays for waking
# a halted virtual processor, which multiplies the cost of the program's registry-heavy steps
# (time zones: about 57 ms instead of 4 ms) while the file-only baselines barely notice. On
# Windows these are system calls, with no such wake-up. A busy loop at the lowest priority keeps
# one processor awake and yields to every measured process. One is enough, and a loop on every
# processor would make each woken process wait for one to be preempted (measured: worse).
awake_pids=()
stop_awake() {
    for pid in "${awake_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${awake_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    awake_pids=()
}
trap 'stop_awake; tarn_stop_all' EXIT
trap 'exit 130' INT TERM
if [ "${BENCH_KEEP_AWAKE:-1}" = 1 ]; then
    nice -n 19 bash -c 'while :; do :; done' &
    awake_pids+=($!)
fi

tarn_fresh_prefix "$out/prefix"
tarn_prepare_sample_disk "$out/disk-d"
stage="$WINEPREFIX/drive_c/bench"
work="$stage/work"
mkdir -p "$stage/pe" "$work"
cp "$bin/tarn_logon.exe" "$bin/LangPack.dll" "$stage/pe/"
cp "$bin/bench_driver.exe" "$bin/dialog_baseline.exe" "$bin/probe.exe" "$bin/LangPack.dll" "$bin/driver_match_bench.exe" "$stage/"
# The shell sleeps for longer than a pass; the chord starts the probe, which records its start.
cat >"$stage/pe/tarn_logon.ini" <<'EOF'
CADApplication=C:\bench\probe.exe
LessLogonMode=NO
[Shell]
Bench shell=C:\bench\probe.exe log=C:\bench\work\shell.log sleep=600000
EOF
# The start-up breakdown replays the program's procedures in the driver, with the same settings.
cp "$stage/pe/tarn_logon.ini" "$stage/"
# The same program with its run log turned off, to show what the log costs (it is on by default).
mkdir -p "$stage/pe-nolog"
cp "$bin/tarn_logon.exe" "$bin/LangPack.dll" "$stage/pe-nolog/"
{ echo 'LogFile=NO'; cat "$stage/pe/tarn_logon.ini"; } >"$stage/pe-nolog/tarn_logon.ini"

# Windows paths of the staged files; the Wine processes run in C:\bench.
driver='C:\bench\bench_driver.exe'
cd "$stage"

# ---- machine ----
{
    echo "machine $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores," \
         "$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo), $(uname -sr), $(wine --version)"
    echo "load_before $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "runs $runs, $TARN_ARCH build, processors kept awake: ${BENCH_KEEP_AWAKE:-1} (${#awake_pids[@]} lowest-priority busy loop)"
} >"$out/machine.txt"

tarn_start_xvfb
tarn_start_wineserver
tarn_add_samples
# A PE machine has no drive onto the Linux root: only C: and D: stay, so that BuildTargetList
# searches the sample disk and the prefix's small C:. Drive letters are read when the server starts.
tarn_stop_wineserver
rm -f "$WINEPREFIX/dosdevices/z:"
tarn_start_wineserver
echo "bench: $runs runs of each measurement ($TARN_ARCH)"

# ---- Linux side of the logon shell's process, for cross-checks ----
clock_ticks=$(getconf CLK_TCK)

# The Wine process of tarn_logon.exe in this prefix.
logon_unix_pid() {
    local dir
    for dir in /proc/[0-9]*; do
        # The program's own name comes first; the driver names it among its arguments.
        tr '\0' '\n' 2>/dev/null <"$dir/cmdline" | head -n1 | grep -q 'tarn_logon\.exe' || continue
        tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
        echo "${dir#/proc/}"
        return 0
    done
    return 1
}

# The prefix's wineserver (wineserver or wineserver64): it works in a folder named after the
# prefix's device and inode, below the temporary folder that Debian's wine names in the prefix.
wineserver_pid() {
    local server dir
    server="server-$(printf '%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))"
    for dir in /proc/[0-9]*; do
        case "$(cat "$dir/comm" 2>/dev/null)" in wineserver*) ;; *) continue ;; esac
        [ "$(basename "$(readlink "$dir/cwd" 2>/dev/null)")" = "$server" ] || continue
        echo "${dir#/proc/}"
        return 0
    done
    return 1
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

wait_for_file() {
    local i
    for ((i = 0; i < 3000; i++)); do
        [ -e "$1" ] && return 0
        sleep 0.02
    done
    return 1
}

# Follows the driver's marks of one session: CPU of the program and of the wineserver over the
# idle window, and the program's peak resident size at the end.
linux_side_of_session() {
    local pid server t0 t1 cpu0 cpu1 srv0 srv1
    wait_for_file "$work/idle.begin" || return 0
    pid=$(logon_unix_pid) || return 0
    server=$(wineserver_pid) || server=""
    t0=$(date +%s.%N); cpu0=$(cpu_ticks "$pid"); srv0=$([ -n "$server" ] && cpu_ticks "$server" || echo 0)
    wait_for_file "$work/idle.end" || return 0
    t1=$(date +%s.%N); cpu1=$(cpu_ticks "$pid"); srv1=$([ -n "$server" ] && cpu_ticks "$server" || echo 0)
    awk -v a="$cpu0" -v b="$cpu1" -v s="$srv0" -v e="$srv1" -v t0="$t0" -v t1="$t1" -v hz="$clock_ticks" \
        'BEGIN { printf "idle_cpu_pct_linux %.3f\nidle_cpu_pct_wineserver %.3f\n", (b - a) / hz * 100 / (t1 - t0), (e - s) / hz * 100 / (t1 - t0) }'
    wait_for_file "$work/session.end" || return 0
    awk '/VmHWM/ {print "peak_rss_linux_kb", $2}' "/proc/$pid/status" 2>/dev/null || true
}

run_driver() { timeout 120 wine "$driver" "$@" </dev/null >>"$results" 2>>"$errors" || echo "bench: driver $1 failed ($?)" >&2; }
baseline_dialog() { run_driver dialog '"C:\bench\dialog_baseline.exe"'; }
product_dialog() {  # on: the run log in its default place (%TEMP%); off: LogFile=NO
    if [ "$1" = on ]; then run_driver dialog '"C:\bench\pe\tarn_logon.exe"' product
    else run_driver dialog '"C:\bench\pe-nolog\tarn_logon.exe"' nolog; fi
}

# ---- the operator's wait, idle cost, hot keys, memory; catalogues ----
part session && for ((run = 1; run <= runs; run++)); do
    echo "bench: session $run/$runs"
    rm -f "$work"/*.begin "$work"/*.end "$work"/*.log
    linux_side_of_session >"$out/linux-$run.txt" &
    sampler=$!
    run_driver session 'C:\bench\pe\tarn_logon.exe' 'C:\bench\work'
    wait "$sampler" || true
    # More starts than sessions, in alternating order, so that neither the program (with its
    # log on and off) nor its baseline always comes first and a moment of load elsewhere does
    # not decide the median.
    for ((start = 0; start < 3; start++)); do
        if (((run + start) % 2)); then
            baseline_dialog; product_dialog on; product_dialog off
        else
            product_dialog off; product_dialog on; baseline_dialog
        fi
    done
    cat "$out/linux-$run.txt" >>"$results"
    run_driver catalogues
    run_driver startup
    run_driver password
done

# ---- installation scan: D: with 1,000 and 10,000 folders, 1 percent of them installations ----
# Each installation has both hives the scan reads: SOFTWARE for its name, SYSTEM for its zone.
config="$out/disk-d/Windows/system32/config"
make_scan_root() {  # folder count
    python3 - "$out/scan-$1" "$1" "$config" <<'EOF'
import os, shutil, sys
root, count, config = sys.argv[1], int(sys.argv[2]), sys.argv[3]
shutil.rmtree(root, ignore_errors=True)
for i in range(count):
    folder = os.path.join(root, "Folder%05d" % i)
    os.makedirs(folder)
    if i % 100 == 50:
        os.makedirs(os.path.join(folder, "system32", "config"))
        for hive in ("software", "system"):
            shutil.copyfile(os.path.join(config, hive), os.path.join(folder, "system32", "config", hive))
EOF
}
part scan && for count in 1000 10000; do
    make_scan_root "$count"
    tarn_stop_wineserver
    ln -sfn "$out/scan-$count" "$WINEPREFIX/dosdevices/d:"
    tarn_start_wineserver
    for ((run = 1; run <= runs; run++)); do
        echo "bench: scan of $count folders $run/$runs"
        run_driver scan "$count" "$run"
    done
done
tarn_stop_wineserver
rm -rf "$out/scan-1000" "$out/scan-10000"

# ---- repeated passes: D: with three installations whose SOFTWARE hives hold about 50 MB ----
if part repeat; then
# Each SOFTWARE hive is written by hivex in the registry file format: the sample values, and
# 50,000 generated keys with six values each, spread over a thousand parents under Microsoft as
# a real hive's are, so that the walk to CurrentVersion passes a list of a thousand subkeys.
/usr/bin/python3 - "$out/disk-d" "$out/disk-big" "$TARN_ROOT/tests/support" 50000 <<'EOF'
import os, shutil, struct, sys
source, target, support, count = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
sys.path.insert(0, support)
from make_hive import child, set_values, write_hive, REG_BINARY, REG_DWORD
REG_SZ, REG_EXPAND_SZ = 1, 2
def text(t):
    return (t + "\0").encode("utf-16-le")
def fill(hive, root):
    parents = [child(hive, root, "Microsoft\\Sample%03d" % p) for p in range(1000)]
    for n in range(count):
        key = "Microsoft\\Sample%03d\\Component%04d" % (n % 1000, n // 1000)
        set_values(hive, hive.node_add_child(parents[n % 1000], "Component%04d" % (n // 1000)), [
            ("", REG_SZ, text("Tarn sample component %d" % n)),
            ("InstallLocation", REG_EXPAND_SZ, text("%%ProgramFiles%%\\%s" % key)),
            ("DisplayName", REG_SZ, text("Tarn sample component number %d of the bench hive" % n)),
            ("Publisher", REG_SZ, text("Tarn sample publisher")),
            ("Version", REG_DWORD, struct.pack("<I", n)),
            ("Data", REG_BINARY, bytes((n + i) & 255 for i in range(64))),
        ])
shutil.rmtree(target, ignore_errors=True)
big = os.path.join(target, "software")
os.makedirs(target)
write_hive(big, {"Microsoft\\Windows NT\\CurrentVersion": [
    ("ProductName", REG_SZ, text("Windows 10 Pro")), ("CurrentBuildNumber", REG_SZ, text("22631")),
    ("DisplayVersion", REG_SZ, text("23H2"))]}, fill=fill)
for folder in ("Windows", "Windows.old", "Windows7"):
    os.makedirs(os.path.join(target, folder, "system32", "config"))
    for name in ("ntoskrnl.exe", os.path.join("config", "system")):
        shutil.copyfile(os.path.join(source, folder, "system32", name), os.path.join(target, folder, "system32", name))
    shutil.copyfile(big, os.path.join(target, folder, "system32", "config", "software"))
os.remove(big)
EOF
ln -sfn "$out/disk-big" "$WINEPREFIX/dosdevices/d:"
tarn_start_wineserver
# Three runs give the median.
repeat_runs=$((runs < 3 ? runs : 3))
for ((run = 1; run <= repeat_runs; run++)); do
    echo "bench: repeated scan $run/$repeat_runs"
    run_driver repeat
done
tarn_stop_wineserver
rm -rf "$out/disk-big"
fi

# ---- driver matching: generated libraries of 1,000, 2,000 and 4,000 INF files ----
# The three sizes alternate within each run, so that load on the machine meets all of them alike.
if part drivers; then
    driver_counts=(1000 2000 4000)
    for count in "${driver_counts[@]}"; do
        python3 "$TARN_ROOT/bench/make_driver_library.py" "$stage/drivers-$count" "$count"
    done
    # The sample disk again as D:, in place of the removed big one.
    ln -sfn "$out/disk-d" "$WINEPREFIX/dosdevices/d:"
    tarn_start_wineserver
    for ((run = 1; run <= runs; run++)); do
        for count in "${driver_counts[@]}"; do
            echo "bench: driver matching, $count INF files $run/$runs"
            timeout 300 wine 'C:\bench\driver_match_bench.exe' "C:\bench\drivers-$count\Drivers" \
                "C:\bench\drivers-$count\devices.txt" "$count" "$run" </dev/null >>"$results" 2>>"$errors" ||
                echo "bench: driver matching of $count files failed ($?)" >&2
        done
    done
    tarn_stop_wineserver
    for count in "${driver_counts[@]}"; do rm -rf "$stage/drivers-$count"; done
fi

# ---- sizes ----
{
    echo "size_tarn_logon_bytes $(stat -c %s "$bin/tarn_logon.exe")"
    echo "size_langpack_bytes $(stat -c %s "$bin/LangPack.dll")"
} >>"$results"
echo "load_after $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.txt"

python3 "$TARN_ROOT/tools/bench_report.py" "$results" "$out/machine.txt" | tee "$out/table.txt"
