#!/usr/bin/env python3
"""Tests of the arithmetic and the verdicts of scripts/bench_report.py."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_report as br  # noqa: E402


def rows_by_metric(results, meta=None):
    values, parsed_meta = br.parse(results)
    parsed_meta.update(meta or {"rss_seconds": "10", "idle_seconds": "60"})
    return {cells[0]: cells for cells in (br.evaluate(r, values, parsed_meta) for r in br.ROWS)}


class ParseTest(unittest.TestCase):
    def test_lines(self):
        values, meta = br.parse([
            "startup_ms ours 120.5",
            "startup_ms ours 130",
            "startup_ms baseline 100",
            "meta idle_seconds 20",
            "startup_ms stranger 5",   # unknown subject
            "startup_ms ours fast",    # not a number
            "ready 568",               # probe chatter
            "",
        ])
        self.assertEqual(values, {"startup_ms": {"ours": [120.5, 130.0], "baseline": [100.0]}})
        self.assertEqual(meta, {"idle_seconds": "20"})


class ArithmeticTest(unittest.TestCase):
    def test_ratio(self):
        for ours, base, expected in [(120, 100, 1.2), (50, 100, 0.5), (0, 0, 1.0),
                                     (10, 0, float("inf"))]:
            with self.subTest(ours=ours, base=base):
                self.assertAlmostEqual(br.ratio(ours, base), expected)

    def test_goals(self):
        cases = [
            (br.at_most_ratio(1.2), 120, 100, True),
            (br.at_most_ratio(1.2), 121, 100, False),
            (br.at_most_ratio(1.2), 5, 0, False),
            (br.at_most(550, "ms"), 550, None, True),
            (br.at_most(550, "ms"), 551, None, False),
            (br.at_most_plus(500, "ms"), 1100, 600, True),
            (br.at_most_plus(500, "ms"), 1101, 600, False),
        ]
        for goal, ours, base, expected in cases:
            with self.subTest(goal=goal.text, ours=ours, base=base):
                self.assertEqual(goal.met(ours, base), expected)

    def test_format(self):
        for number, text in [(None, "-"), (float("inf"), "inf"), (1234.56, "1235"), (12.34, "12.3")]:
            with self.subTest(number=number):
                self.assertEqual(br.fmt(number), text)


class RowTest(unittest.TestCase):
    def test_medians_ratio_and_count_in_label(self):
        rows = rows_by_metric(["startup_ms ours 300", "startup_ms ours 100", "startup_ms ours 200",
                               "startup_ms baseline 190", "startup_ms baseline 150",
                               "startup_ms baseline 500"])
        label, ours, base, ratio, goal, verdict = rows["start-up to window shown (ms, median of 3)"]
        self.assertEqual((ours, base, ratio, verdict), ("200", "190", "1.05", "ok"))

    def test_kill_latency_median_and_worst(self):
        results = [f"kill_stopped_ms ours {v}" for v in (100, 200, 300, 400, 560)]
        rows = rows_by_metric(results)
        self.assertEqual(rows["kill -> Stopped (ms, median of 5)"][1:], ("300", "-", "-",
                                                                        "<= 550 ms", "ok"))
        self.assertEqual(rows["kill -> Stopped (ms, worst of 5)"][5], "over")

    def test_start_latency_against_the_server_alone(self):
        rows = rows_by_metric(["start_page_ms ours 900", "own_page_ms ours 999",
                               "start_page_ms own 350"])
        cells = rows["Start -> first page (ms, median of 1; vs server alone)"]
        self.assertEqual((cells[1], cells[2], cells[5]), ("900", "350", "over"))

    def test_size_needs_windows_dlls_only(self):
        cases = [
            (["size64 ours 300000", "size64 baseline 16384", "foreign_dlls64 ours 0"], "18.31", "ok"),
            (["size64 ours 300000", "size64 baseline 16384", "foreign_dlls64 ours 1"], "18.31",
             "over"),
            (["size64 ours 600000", "size64 baseline 16384", "foreign_dlls64 ours 0"], "36.62",
             "over"),
            (["size64 ours 300000", "size64 baseline 16384"], "-", "missing"),
        ]
        for results, ratio, verdict in cases:
            with self.subTest(results=results):
                cells = rows_by_metric(results)["exe size, 64-bit (bytes)"]
                self.assertEqual((cells[3], cells[5]), (ratio, verdict))

    def test_missing_figures(self):
        rows = rows_by_metric(["cpu_ms ours 40"])
        self.assertEqual(rows["CPU over 60 s idle, server running (ms, median of 1)"][5],
                         "missing", "a ratio goal needs the baseline")
        self.assertEqual(rows["kill -> Stopped (ms, median of 0)"][5], "missing")


class TableTest(unittest.TestCase):
    def test_every_row_is_printed_and_completeness_is_reported(self):
        values, _ = br.parse(["startup_ms ours 1", "startup_ms baseline 1"])
        text, complete = br.table(values, {"rss_seconds": "10", "idle_seconds": "60"})
        lines = text.splitlines()
        self.assertEqual(len(lines), 2 + len(br.ROWS))
        self.assertFalse(complete)
        self.assertEqual(len({line.index("|") for line in lines if "|" in line}), 1,
                         "columns line up")


class DllTest(unittest.TestCase):
    def test_only_foreign_dlls_are_listed(self):
        dump = "\n".join(f"\tDLL Name: {d}" for d in
                         ("KERNEL32.dll", "msvcrt.dll", "libstdc++-6.dll", "USER32.dll",
                          "api-ms-win-crt-runtime-l1-1-0.dll", "libwinpthread-1.dll"))
        self.assertEqual(br.foreign_dlls(dump, br.allowed_dlls()),
                         ["libstdc++-6.dll", "libwinpthread-1.dll"])


if __name__ == "__main__":
    unittest.main()
