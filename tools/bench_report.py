#!/usr/bin/env python3
"""Prints the table of `make bench` from the raw samples that tools/bench.sh collected.

Each input line is "name value"; a name may occur once per run. For every figure the table gives
the median and the spread (min-max) of its samples, the baseline measured in the same run, the
ratio of the medians, the goal, and whether it is met.
"""
import os
import statistics
import sys
from collections import defaultdict


def read_samples(path):
    samples = defaultdict(list)
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) != 2:
                continue
            try:
                samples[parts[0]].append(float(parts[1]))
            except ValueError:
                pass
    return samples


def percentile(values, p):
    """Nearest-rank percentile: the smallest sample with at least p percent at or below it."""
    ordered = sorted(values)
    rank = max(1, -(-len(ordered) * p // 100))
    return ordered[int(rank) - 1]


def number(value):
    if value is None:
        return "-"
    if abs(value) >= 1000:
        return f"{value:,.0f}"
    if abs(value) >= 10:
        return f"{value:.1f}"
    return f"{value:.3g}" if abs(value) < 1 else f"{value:.2f}"


class Table:
    def __init__(self, samples):
        self.samples = samples
        self.rows = []

    def median(self, name):
        values = self.samples.get(name)
        return statistics.median(values) if values else None

    def spread(self, name):
        values = self.samples.get(name)
        return f"{number(min(values))}-{number(max(values))}" if values else "-"

    def row(self, label, name, baseline=None, goal="", passes=None, value=None, spread=None, ratio=None):
        value = self.median(name) if value is None and name else value
        base = self.median(baseline) if baseline else None
        if ratio is None and value is not None and base:
            ratio = value / base
        verdict = "" if passes is None else ("pass" if passes(value, ratio) else "MISS")
        if value is None and passes is not None:
            verdict = "no data"
        self.rows.append([label, number(value), spread if spread is not None else self.spread(name),
                          number(base), "-" if ratio is None else f"{ratio:.2f}" if ratio >= 0.01 else f"{ratio:.1e}", goal, verdict])

    def print(self, out=sys.stdout):
        header = ["figure", "median", "spread (min-max)", "baseline", "ratio", "goal", ""]
        widths = [max(len(str(r[i])) for r in self.rows + [header]) for i in range(len(header))]
        for r in [header, ["-" * w for w in widths]] + self.rows:
            out.write("  ".join(str(c).ljust(w) if i == 0 else str(c).rjust(w)
                                for i, (c, w) in enumerate(zip(r, widths))).rstrip() + "\n")


def growth_row(t, label, figure, bare):
    """How a figure grew from the small to the large size (names of the two medians), against its
    bare loop's growth. Linear means: it grows as the bare loop over the same files does (under
    Wine even that grows a little faster than the count), with a quarter's allowance for noise."""
    small, large = (t.median(name) for name in figure)
    bare_small, bare_large = (t.median(name) for name in bare)
    growth = large / small if small and large else None
    bare_growth = bare_large / bare_small if bare_small and bare_large else None
    t.row(label, None, None, "ratio <= 1.25 (linear)", lambda value, ratio: ratio is not None and ratio <= 1.25,
          value=growth, spread="-", ratio=growth / bare_growth if growth and bare_growth else None)
    t.rows[-1][3] = number(bare_growth)


def build(samples):
    t = Table(samples)
    ratio_at_most = lambda limit: (lambda value, ratio: ratio is not None and ratio <= limit)
    below = lambda limit: (lambda value, ratio: value is not None and value < limit)

    t.row("1. start to dialog, run log on (ms)", "dialog_product_ms", "dialog_baseline_ms", "ratio <= 1.3",
          ratio_at_most(1.3))
    t.row("   the same, run log off (ms)", "dialog_nolog_ms", "dialog_baseline_ms", "ratio <= 1.3", ratio_at_most(1.3))
    on, off = t.median("dialog_product_ms"), t.median("dialog_nolog_ms")
    # Unnoticeable: well below what an operator can tell apart at start-up.
    t.row("   run log on minus off (ms)", None, None, "< 50", below(50),
          value=on - off if on is not None and off is not None else None, spread="-")
    for count in ("1000", "10000"):
        t.row(f"2. installation scan, {int(count):,} folders (ms)", f"scan_build_{count}_ms",
              f"scan_bare_{count}_ms", "ratio <= 1.5", ratio_at_most(1.5))
    growth_row(t, "   growth 1,000 -> 10,000 folders (x)", ("scan_build_1000_ms", "scan_build_10000_ms"),
               ("scan_bare_1000_ms", "scan_bare_10000_ms"))
    t.row("   later pass, 3 installations with 50 MB hives (ms)", "scan_later_pass_ms", "scan_first_pass_ms")
    for name, label in (("display_modes", "display modes"), ("layouts", "keyboard layouts"),
                        ("time_zones", "time zones")):
        t.row(f"3. catalogue: {label} (ms)", f"catalogue_{name}_ms")
    t.row("4. idle CPU while a shell runs (% of a core)", "idle_cpu_pct", goal="< 0.1", passes=below(0.1))
    t.row("   cross-check: Linux /proc of the process (%)", "idle_cpu_pct_linux")
    t.row("   the wineserver in the same window (%)", "idle_cpu_pct_wineserver")
    hotkeys = samples.get("hotkey_ms", [])
    floor = samples.get("hotkey_floor_ms", [])
    t.row("5. Ctrl+Alt+Del to program start, median (ms)", "hotkey_ms", "hotkey_floor_ms")
    t.row("   95th percentile (ms)", None, None, "< 20", below(20),
          value=percentile(hotkeys, 95) if hotkeys else None,
          spread=f"{len(hotkeys)} samples" + (f", {len(samples['hotkey_missed'])} missed"
                                              f" ({len(samples.get('hotkey_missed_recognised', []))} recognised"
                                              " by the hook)"
                                              if samples.get("hotkey_missed") else ""),
          ratio=None)
    t.rows[-1][3] = number(percentile(floor, 95)) if floor else "-"
    t.row("6. size of tarn_logon.exe (bytes)", "size_tarn_logon_bytes", spread="-")
    t.row("   size of LangPack.dll (bytes)", "size_langpack_bytes", spread="-")
    t.row("   peak working set of the logon shell (KiB)", "peak_working_set_kb")
    t.row("   cross-check: Linux VmHWM of the process (KiB)", "peak_rss_linux_kb")
    checks = samples.get("password_check_ms", [])
    # The goal holds for every run, not only the median: each one is an operator's wait.
    t.row("7. one password check with PassKey, slowest run (ms)", None, None, "< 1,500", below(1500),
          value=max(checks) if checks else None, spread=t.spread("password_check_ms"))
    t.row("   processor time of the check, median (ms)", "password_check_cpu_ms")
    drivers(t)
    return t


DRIVER_COUNTS = (1000, 2000, 4000)


def drivers(t):
    """The library pass of Find drivers against reading the same INF files' bytes, and its growth."""
    ratio_at_most = lambda limit: (lambda value, ratio: ratio is not None and ratio <= limit)
    for count in DRIVER_COUNTS:
        t.row(f"8. driver matching, {count:,} INF files (ms)", f"drivers_match_{count}_ms",
              f"drivers_bare_{count}_ms", "ratio <= 2", ratio_at_most(2))
        t.row("   of it, the INF reader over the bytes (ms)", f"drivers_parse_{count}_ms")
        t.row("   later pass, files unchanged (ms)", f"drivers_reuse_{count}_ms", f"drivers_bare_{count}_ms")
    per_thousand = []
    for kind in ("match", "bare"):
        values = [t.median(f"drivers_{kind}_{count}_ms") for count in DRIVER_COUNTS]
        per_thousand.append([v * 1000 / c if v is not None else None for v, c in zip(values, DRIVER_COUNTS)])
    t.row("   match per 1,000 files at 1,000 / 2,000 / 4,000 (ms)", None, value=per_thousand[0][-1],
          spread=" / ".join(number(v) for v in per_thousand[0]))
    t.rows[-1][3] = number(per_thousand[1][-1])
    growth_row(t, "   growth 1,000 -> 4,000 files (x)", ("drivers_match_1000_ms", "drivers_match_4000_ms"),
               ("drivers_bare_1000_ms", "drivers_bare_4000_ms"))


def side_by_side(gcc_path, clang_path, arm64_bin=None, out=sys.stdout):
    """The x64 program from GCC and from Zig's clang, each run's figures against its own baseline,
    and the sizes of the ARM64 files (which run nowhere here)."""
    gcc, clang = Table(read_samples(gcc_path)), Table(read_samples(clang_path))
    rows = [["figure", "x64 GCC", "x64 clang", "clang / GCC"], ["-"] * 4]

    def add(label, name, baseline=None):
        values = [t.median(name) for t in (gcc, clang)]
        shown = []
        for t, value in zip((gcc, clang), values):
            base = t.median(baseline) if baseline else None
            shown.append(number(value) + (f" (ratio {value / base:.2f})" if value is not None and base else ""))
        both = all(v is not None for v in values) and values[0]
        rows.append([label] + shown + [f"{values[1] / values[0]:.2f}" if both else "-"])

    add("start to dialog, run log on (ms)", "dialog_product_ms", "dialog_baseline_ms")
    add("installation scan, 1,000 folders (ms)", "scan_build_1000_ms", "scan_bare_1000_ms")
    add("installation scan, 10,000 folders (ms)", "scan_build_10000_ms", "scan_bare_10000_ms")
    add("size of tarn_logon.exe (bytes)", "size_tarn_logon_bytes")
    add("size of LangPack.dll (bytes)", "size_langpack_bytes")
    if arm64_bin:
        for file in ("tarn_logon.exe", "LangPack.dll"):
            path = os.path.join(arm64_bin, file)
            size = os.path.getsize(path) if os.path.exists(path) else None
            rows.append([f"ARM64 {file} (bytes)", "", "", number(size)])
    widths = [max(len(r[i]) for r in rows) for i in range(4)]
    rows[1] = ["-" * w for w in widths]
    for r in rows:
        out.write("  ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths))).rstrip() + "\n")


def main():
    # tools/bench_report.py --side-by-side <x64 results> <x64-clang results> [<arm64 bin folder>]
    if sys.argv[1] == "--side-by-side":
        side_by_side(*sys.argv[2:5])
        return
    samples = read_samples(sys.argv[1])
    if len(sys.argv) > 2:
        with open(sys.argv[2]) as f:
            sys.stdout.write(f.read())
    print()
    build(samples).print()
    print("\nBaselines: 1. a program that only loads LangPack.dll and shows template 2600 empty;"
          " 2. FindFirstFileA over the same root with one GetFileAttributesA per folder"
          " (later pass: the first pass of the same process, which reads every hive);"
          " 5. ShellExecuteA of the same program from a process that waits for nothing;"
          " 8. the same folder walk, every INF file opened and read whole (CreateFileA, ReadFile).")
    matched = {k: v for k, v in samples.items() if k.startswith("drivers_matched_")}
    for name, values in sorted(matched.items(), key=lambda item: int(item[0].rsplit("_", 1)[1])):
        devices = samples.get(name.replace("matched", "devices"), [0])
        print(f"   {name}: {sorted(set(int(v) for v in values))} of {int(max(devices))} devices found a driver")
    steps = [(k[len("startup_"):-len("_ms")], statistics.median(v)) for k, v in samples.items()
             if k.startswith("startup_")]
    if steps:
        print("\nStart-up replayed step by step in the driver with the program's own procedures (median ms):")
        print("   " + ", ".join(f"{name.replace('_', ' ')} {number(ms)}" for name, ms in steps))
    entries = {k: v for k, v in samples.items() if k.startswith("scan_entries_")}
    for name, values in sorted(entries.items()):
        print(f"   {name}: {sorted(set(int(v) for v in values))} entries (installations + the no-target entry)")


if __name__ == "__main__":
    main()
