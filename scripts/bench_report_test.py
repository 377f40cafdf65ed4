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
        rows = rows_by_metric(["startup_ms64 ours 300", "startup_ms64 ours 100",
                               "startup_ms64 ours 200", "startup_ms64 baseline 190",
                               "startup_ms64 baseline 150", "startup_ms64 baseline 500",
                               "startup_ms64 styled 160", "startup_ms64 styled 170"])
        label, ours, base, ratio, goal, verdict, *_ = rows[
            "start-up to window shown, 64-bit (ms, median of 3)"]
        self.assertEqual((ours, base, ratio, verdict), ("200", "190", "1.05", "ok"))
        # The same runs of ours, against the baseline with the visual styles.
        cells = rows["start-up, 64-bit, vs the baseline with the visual styles (ms, median of 3)"]
        self.assertEqual((cells[1], cells[2], cells[3], cells[5]), ("200", "165", "1.21", "over"))

    def test_spreads_of_the_runs_and_of_the_ratios_side_by_side(self):
        rows = rows_by_metric(["cpu_ms32 ours 30", "cpu_ms32 baseline 20",
                               "cpu_ms32 ours 60", "cpu_ms32 baseline 40",
                               "cpu_ms32 ours 45", "cpu_ms32 baseline 50"])
        cells = rows["CPU over 60 s idle, shown, server running, 32-bit (ms, median of 3)"]
        self.assertEqual(cells[6:], ("30.0-60.0", "20.0-50.0", "0.90-1.50"))
        one = rows_by_metric(["cpu_ms32 ours 30", "cpu_ms32 baseline 20"])
        self.assertEqual(one["CPU over 60 s idle, shown, server running, 32-bit (ms, median of 1)"][6:],
                         ("-", "-", "-"), "one run has no spread")
        unpaired = rows_by_metric(["rss_kb64 ours 3", "rss_kb64 ours 4", "rss_kb64 baseline 2"])
        self.assertEqual(unpaired["RSS after 10 s idle, 64-bit (KB, VmRSS, median of 2)"][8], "-")

    def test_kill_latency_median_and_worst(self):
        results = [f"kill_stopped_ms64 ours {v}" for v in (100, 200, 300, 400, 560)]
        rows = rows_by_metric(results)
        self.assertEqual(rows["kill -> Stopped, 64-bit (ms, median of 5)"][1:6],
                         ("300", "-", "-", "<= 550 ms", "ok"))
        self.assertEqual(rows["kill -> Stopped, 64-bit (ms, worst of 5)"][5], "over")

    def test_start_latency_against_the_server_alone(self):
        rows = rows_by_metric(["start_page_ms64 ours 900", "own_page_ms ours 999",
                               "start_page_ms64 own 350"])
        cells = rows["Start -> first page, 64-bit (ms, median of 1; vs server alone)"]
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
        rows = rows_by_metric(["cpu_hidden_ms64 ours 40"])
        self.assertEqual(rows["CPU over 60 s idle, hidden, server running, 64-bit (ms, median of 1)"][5],
                         "missing", "a ratio goal needs the baseline")
        self.assertEqual(rows["kill -> Stopped, 64-bit (ms, median of 0)"][5], "missing")


class TableTest(unittest.TestCase):
    def test_every_row_is_printed_and_completeness_is_reported(self):
        values, _ = br.parse(["startup_ms64 ours 1", "startup_ms64 baseline 1"])
        text, complete = br.table(values, {"rss_seconds": "10", "idle_seconds": "60"})
        lines = text.splitlines()
        self.assertEqual(len(lines), 2 + len(br.ROWS))
        self.assertIn("ratio | min-max", lines[0])
        self.assertFalse(complete)
        self.assertEqual(len({line.index("|") for line in lines if "|" in line}), 1,
                         "columns line up")

    def test_rows_of_the_builds_measured_and_the_emulation_note(self):
        meta = {"rss_seconds": "10", "idle_seconds": "60", "emulated32": "1"}
        only64, _ = br.table({}, dict(meta, bits="64"))
        self.assertNotIn(", 32-bit (ms", only64)
        self.assertNotIn("qemu", only64)
        both, _ = br.table({}, dict(meta, bits="64,32"))
        self.assertEqual(len(both.splitlines()), 2 + len(br.ROWS) + 1)
        self.assertIn("emulated through qemu-user", both.splitlines()[-1])


class DllTest(unittest.TestCase):
    def test_only_foreign_dlls_are_listed(self):
        dump = "\n".join(f"\tDLL Name: {d}" for d in
                         ("KERNEL32.dll", "msvcrt.dll", "libstdc++-6.dll", "USER32.dll",
                          "api-ms-win-crt-runtime-l1-1-0.dll", "libwinpthread-1.dll"))
        self.assertEqual(br.foreign_dlls(dump, br.allowed_dlls()),
                         ["libstdc++-6.dll", "libwinpthread-1.dll"])


if __name__ == "__main__":
    unittest.main()
