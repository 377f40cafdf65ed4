#!/usr/bin/env python3
"""Arithmetic and the table for scripts/bench.

  bench_report.py table RESULTS     prints the figures with their goals
  bench_report.py foreign-dlls EXE  prints the DLLs EXE needs that are not Windows' own

RESULTS holds one "metric subject value" line per measurement, in the order
taken; subject is ours, baseline, styled (the baseline with our manifest's
visual styles), probe (the baseline that probes a process each tick), panel
(the baseline that does both and shows our panel's controls) or own (the
server started alone); "meta
NAME value" lines fill in the labels, name the builds measured ("bits 64,32")
whether 32-bit Wine was emulated ("emulated32 1") and whether only the start-up
or the idle CPU was measured ("figures startup", "figures cpu"). Other lines are ignored.
"""

import os
import re
import runpy
import statistics
import subprocess
import sys
from dataclasses import dataclass
from typing import Callable, Optional

KB = 1024
SUBJECTS = ("ours", "baseline", "styled", "probe", "panel", "own")


def parse(lines):
    """({metric: {subject: [values]}}, {meta name: text})"""
    values, meta = {}, {}
    for line in lines:
        parts = line.split()
        if len(parts) != 3:
            continue
        metric, subject, text = parts
        if metric == "meta":
            meta[subject] = text
            continue
        if subject not in SUBJECTS:
            continue
        try:
            number = float(text)
        except ValueError:
            continue
        values.setdefault(metric, {}).setdefault(subject, []).append(number)
    return values, meta


def ratio(ours, baseline):
    if baseline == 0:
        return 1.0 if ours == 0 else float("inf")
    return ours / baseline


@dataclass
class Goal:
    text: str
    met: Callable[[float, Optional[float]], bool]
    needs_baseline: bool = False


def at_most_ratio(limit):
    return Goal(f"<= {limit:g}x", lambda o, b: ratio(o, b) <= limit + 1e-9, True)


def at_most(limit, unit):
    return Goal(f"<= {limit:g} {unit}", lambda o, b: o <= limit)


def at_most_plus(extra, unit):
    return Goal(f"<= own + {extra:g} {unit}", lambda o, b: o <= b + extra, True)


@dataclass
class Row:
    label: str
    metric: str
    goal: Goal
    stat: Callable = statistics.median
    baseline: str = "baseline"
    dll_metric: Optional[str] = None
    bits: Optional[int] = None  # of the build measured; None for both


def rows_of(bits):
    """The figures measured for one build; their metrics end in the bits."""
    b = f", {bits}-bit"
    rows = [
        Row(f"start-up to window shown{b} (ms, median of {{n}})", f"startup_ms{bits}",
            at_most_ratio(1.2)),
        Row(f"start-up{b}, vs the baseline with the visual styles (ms, median of {{n}})",
            f"startup_ms{bits}", at_most_ratio(1.2), baseline="styled"),
        Row(f"start-up{b}, vs the baseline with our panel (ms, median of {{n}})",
            f"startup_ms{bits}", at_most_ratio(1.2), baseline="panel"),
        Row(f"RSS after {{rss_seconds}} s idle{b} (KB, VmRSS, median of {{n}})", f"rss_kb{bits}",
            at_most_ratio(1.2)),
        Row(f"RSS{b}, vs the baseline with the visual styles (KB, median of {{n}})",
            f"rss_kb{bits}", at_most_ratio(1.2), baseline="styled"),
        Row(f"RSS{b}, vs the baseline with our panel (KB, median of {{n}})",
            f"rss_kb{bits}", at_most_ratio(1.2), baseline="panel"),
        Row(f"CPU over {{idle_seconds}} s idle, shown, server running{b} (ms, median of {{n}})",
            f"cpu_ms{bits}", at_most_ratio(1.2)),
        Row(f"CPU over {{idle_seconds}} s idle, hidden, server running{b} (ms, median of {{n}})",
            f"cpu_hidden_ms{bits}", at_most_ratio(1.2)),
        Row(f"CPU idle, shown{b}, vs the baseline that probes a process each tick (ms, median "
            f"of {{n}})", f"cpu_ms{bits}", at_most_ratio(1.2), baseline="probe"),
        Row(f"CPU idle, shown{b}, vs the baseline with our panel (ms, median of {{n}})",
            f"cpu_ms{bits}", at_most_ratio(1.2), baseline="panel"),
        Row(f"CPU idle, hidden{b}, vs the baseline that probes a process each tick (ms, median "
            f"of {{n}})", f"cpu_hidden_ms{bits}", at_most_ratio(1.2), baseline="probe"),
        Row(f"kill -> Stopped{b} (ms, median of {{n}})", f"kill_stopped_ms{bits}",
            at_most(550, "ms")),
        Row(f"kill -> Stopped{b} (ms, worst of {{n}})", f"kill_stopped_ms{bits}",
            at_most(550, "ms"), stat=max),
        Row(f"Start -> first page{b} (ms, median of {{n}}; vs server alone)", f"start_page_ms{bits}",
            at_most_plus(500, "ms"), baseline="own"),
    ]
    for row in rows:
        row.bits = bits
    return rows


ROWS = [
    Row("exe size, 32-bit (bytes)", "size32", at_most(512 * KB, "bytes"),
        dll_metric="foreign_dlls32"),
    Row("exe size, 64-bit (bytes)", "size64", at_most(512 * KB, "bytes"),
        dll_metric="foreign_dlls64"),
] + rows_of(64) + rows_of(32)


def fmt(number):
    if number is None:
        return "-"
    if number == float("inf"):
        return "inf"
    return f"{number:.0f}" if abs(number) >= 100 else f"{number:.1f}"


def spread(values):
    """"min-max" of the runs; "-" for fewer than two."""
    if len(values) < 2:
        return "-"
    return f"{fmt(min(values))}-{fmt(max(values))}"


def ratio_spread(ours_values, base_values):
    """min-max of the ratios of runs taken side by side, the n-th of each."""
    if len(ours_values) < 2 or len(ours_values) != len(base_values):
        return "-"
    ratios = [ratio(o, b) for o, b in zip(ours_values, base_values)]
    return f"{min(ratios):.2f}-{max(ratios):.2f}"


def evaluate(row, values, meta):
    """(label, ours, baseline, ratio, goal, verdict, ours spread, baseline spread,
    ratio spread), the cells of one row."""
    found = values.get(row.metric, {})
    ours_values = found.get("ours", [])
    base_values = found.get(row.baseline, [])
    ours = row.stat(ours_values) if ours_values else None
    base = row.stat(base_values) if base_values else None
    label = row.label.format(n=len(ours_values), **meta) if "{" in row.label else row.label
    goal = row.goal.text
    if row.dll_metric:
        goal += ", Windows' own DLLs only"
    spreads = (spread(ours_values), spread(base_values))
    if ours is None or (row.goal.needs_baseline and base is None):
        return label, fmt(ours), fmt(base), "-", goal, "missing", *spreads, "-"
    met = row.goal.met(ours, base)
    if row.dll_metric:
        foreign = values.get(row.dll_metric, {}).get("ours")
        if not foreign:
            return label, fmt(ours), fmt(base), "-", goal, "missing", *spreads, "-"
        met = met and foreign[0] == 0
    shown_ratio = f"{ratio(ours, base):.2f}" if base is not None else "-"
    return (label, fmt(ours), fmt(base), shown_ratio, goal, "ok" if met else "over", *spreads,
            ratio_spread(ours_values, base_values))


def table(values, meta):
    """The table with the spreads beside the medians, and whether every figure is
    there; the rows of the builds that meta "bits" names ("64,32" by default)."""
    measured = {int(b) for b in meta.get("bits", "64,32").split(",") if b}
    rows = [r for r in ROWS if r.bits is None or r.bits in measured]
    # A run of the start-up or the idle CPU alone ("figures startup", "figures cpu") has
    # only those rows.
    if meta.get("figures") in ("startup", "cpu"):
        rows = [r for r in rows if r.metric.startswith(meta["figures"])]
    head = ("figure", "ours", "min-max", "baseline", "min-max", "ratio", "min-max", "goal",
            "ok/over")
    cells = [head]
    for row in rows:
        label, ours, base, rat, goal, verdict, ours_spread, base_spread, rat_spread = evaluate(
            row, values, meta)
        cells.append((label, ours, ours_spread, base, base_spread, rat, rat_spread, goal, verdict))
    widths = [max(len(r[i]) for r in cells) for i in range(len(head))]
    lines = []
    for i, r in enumerate(cells):
        line = [r[0].ljust(widths[0])] + [c.rjust(w) for c, w in zip(r[1:7], widths[1:7])]
        line += [r[7].ljust(widths[7]), r[8]]
        lines.append(" | ".join(line).rstrip())
        if i == 0:
            lines.append("-+-".join("-" * w for w in widths))
    if meta.get("emulated32") == "1" and any(r.bits == 32 for r in rows):
        lines.append("32-bit: emulated through qemu-user; compare its ratios, not its times.")
    return "\n".join(lines), all(r[8] != "missing" for r in cells[1:])


def allowed_dlls():
    """The pattern of Windows' own DLLs, as scripts/check-exe has it."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check-exe")
    # check-exe has no .py suffix; run it as a module without its main part.
    return runpy.run_path(path, run_name="check_exe")["ALLOWED"]


def foreign_dlls(objdump_text, allowed):
    return [d for d in re.findall(r"DLL Name: (\S+)", objdump_text)
            if not allowed.match(d.lower())]


def main(argv):
    if len(argv) == 3 and argv[1] == "table":
        with open(argv[2], encoding="utf-8") as f:
            values, meta = parse(f)
        text, complete = table(values, meta)
        print(text)
        return 0 if complete else 1
    if len(argv) == 3 and argv[1] == "foreign-dlls":
        for objdump in ("x86_64-w64-mingw32-objdump", "i686-w64-mingw32-objdump"):
            run = subprocess.run([objdump, "-p", argv[2]], capture_output=True, text=True)
            if run.returncode == 0:
                print(" ".join(foreign_dlls(run.stdout, allowed_dlls())))
                return 0
        return 1
    print(__doc__.strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
