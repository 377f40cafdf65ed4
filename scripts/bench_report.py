#!/usr/bin/env python3
"""Arithmetic and the table for scripts/bench.

  bench_report.py table RESULTS     prints the figures with their goals
  bench_report.py foreign-dlls EXE  prints the DLLs EXE needs that are not Windows' own

RESULTS holds one "metric subject value" line per measurement; subject is
ours, baseline or own (the server started alone); "meta NAME value" lines
fill in the labels. Other lines are ignored.
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
SUBJECTS = ("ours", "baseline", "own")


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


ROWS = [
    Row("exe size, 32-bit (bytes)", "size32", at_most(512 * KB, "bytes"),
        dll_metric="foreign_dlls32"),
    Row("exe size, 64-bit (bytes)", "size64", at_most(512 * KB, "bytes"),
        dll_metric="foreign_dlls64"),
    Row("start-up to window shown (ms, median of {n})", "startup_ms", at_most_ratio(1.2)),
    Row("RSS after {rss_seconds} s idle (KB, VmRSS, median of {n})", "rss_kb",
        at_most_ratio(1.2)),
    Row("CPU over {idle_seconds} s idle, server running (ms, median of {n})", "cpu_ms",
        at_most_ratio(1.2)),
    Row("kill -> Stopped (ms, median of {n})", "kill_stopped_ms", at_most(550, "ms")),
    Row("kill -> Stopped (ms, worst of {n})", "kill_stopped_ms", at_most(550, "ms"), stat=max),
    Row("Start -> first page (ms, median of {n}; vs server alone)", "start_page_ms",
        at_most_plus(500, "ms"), baseline="own"),
]


def fmt(number):
    if number is None:
        return "-"
    if number == float("inf"):
        return "inf"
    return f"{number:.0f}" if abs(number) >= 100 else f"{number:.1f}"


def evaluate(row, values, meta):
    """(label, ours, baseline, ratio, goal, verdict), the cells of one row."""
    found = values.get(row.metric, {})
    ours_values = found.get("ours", [])
    base_values = found.get(row.baseline, [])
    ours = row.stat(ours_values) if ours_values else None
    base = row.stat(base_values) if base_values else None
    label = row.label.format(n=len(ours_values), **meta) if "{" in row.label else row.label
    goal = row.goal.text
    if row.dll_metric:
        goal += ", Windows' own DLLs only"
    if ours is None or (row.goal.needs_baseline and base is None):
        return label, fmt(ours), fmt(base), "-", goal, "missing"
    met = row.goal.met(ours, base)
    if row.dll_metric:
        foreign = values.get(row.dll_metric, {}).get("ours")
        if not foreign:
            return label, fmt(ours), fmt(base), "-", goal, "missing"
        met = met and foreign[0] == 0
    shown_ratio = f"{ratio(ours, base):.2f}" if base is not None else "-"
    return label, fmt(ours), fmt(base), shown_ratio, goal, "ok" if met else "over"


def table(values, meta):
    head = ("figure", "ours", "baseline", "ratio", "goal", "ok/over")
    rows = [head] + [evaluate(row, values, meta) for row in ROWS]
    widths = [max(len(r[i]) for r in rows) for i in range(len(head))]
    lines = []
    for i, r in enumerate(rows):
        cells = [r[0].ljust(widths[0])] + [c.rjust(w) for c, w in zip(r[1:4], widths[1:4])]
        cells += [r[4].ljust(widths[4]), r[5]]
        lines.append(" | ".join(cells).rstrip())
        if i == 0:
            lines.append("-+-".join("-" * w for w in widths))
    return "\n".join(lines), all(r[5] != "missing" for r in rows[1:])


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
