#!/usr/bin/env python3
"""bench/bench_table.py over made-up log folders: the figures it picks, the
verdicts beside the goals, and when it reports the measurement as failed."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench", "bench_table.py")


def case(name, size, median, unit="ms", mean=None):
    run = "%s/%d/iterations:1/repeats:15" % (name, size)
    base = {"run_name": run, "run_type": "aggregate", "time_unit": unit}
    return [dict(base, name=run + "_mean", aggregate_name="mean", real_time=mean if mean is not None else median),
            dict(base, name=run + "_median", aggregate_name="median", real_time=median),
            dict(base, name=run + "_stddev", aggregate_name="stddev", real_time=1.0)]


def benchmarks():
    return (case("BM_FullRefill", 10000, 30.0) + case("BM_CheckerPass", 10000, 4.5)
            # The mean would meet the goal, the median does not.
            + case("BM_SearchNothing", 10000, 50.0, mean=10.0)
            # 39 ms, given in microseconds.
            + case("BM_SearchOnePercent", 10000, 39000.0, unit="us")
            + case("BM_SearchStatementOnly", 10000, 21.5))


STARTUP = {"reference_tray_ms": 50, "fresh_tray_ms": 59, "notes10k_tray_ms": 61,
           "fresh_idle_per_s": 0.15, "notes10k_idle_per_s": 0.6, "reference_idle_per_s": 0.02,
           "server10k_tray_ms": 130}
DIALOGS = ("dialog openings RSS first MiB RSS last MiB growth MiB\n"
           "note editor 1000 40.0 42.5 2.50\n"
           "login 1000 41.0 41.1 0.10\n")
STATUS = {"quick": 0, "notelist": 0, "dialogs": 0, "startup": 0, "search_floor": "absent", "live": 0, "held": 0,
          "ctl": 0}
LIVE = "live latency ms: median 21.7 worst 325.5 changes 50 refills 50\n"
HELD = "held row: timer late ms median 0.0 worst 8.0; busy save ms 1067 (busy); alarm kept\n"
CTL = "penwickctl new ms: median 71 worst 160; export markdown ms: median 2100 worst 2300 files 10000 floor 1900\n"


def run_table(status=None, benches=None, dialogs=DIALOGS, floor=None):
    with tempfile.TemporaryDirectory() as logs:
        def write(name, text):
            with open(os.path.join(logs, name), "w", encoding="utf-8") as f:
                f.write(text)
        # A status of None leaves that part out, as if it never ran.
        parts = {k: v for k, v in dict(STATUS, **(status or {})).items() if v is not None}
        write("status", "".join("%s %s\n" % kv for kv in parts.items()))
        write("notelist.json", json.dumps({"benchmarks": benchmarks() if benches is None else benches}))
        write("dialogs.log", dialogs)
        write("startup.summary", "".join("%s %s\n" % kv for kv in STARTUP.items()))
        if floor is not None:
            write("search_floor.log", floor)
        write("live.log", LIVE)
        write("held.log", HELD)
        write("server.log", "ops file: search ms median 30.0; save ms median 20.0; rows 1111\n"
                            "ops server: search ms median 50.0; save ms median 50.0; rows 1111\n")
        write("ctl.log", CTL)
        done = subprocess.run([sys.executable, SCRIPT, logs], capture_output=True, text=True, check=False)
    return done.returncode, done.stdout


def verdict_of(out, label):
    for line in out.splitlines():
        if line.startswith("  " + label + " "):
            return line.split("  ")[-1].strip()
    raise AssertionError("no row %r in:\n%s" % (label, out))


class BenchTable(unittest.TestCase):
    def test_verdicts_beside_goals(self):
        rc, out = run_table()
        self.assertEqual(rc, 0, out)
        for label, expected in (("fresh file", "MET"), ("10,000 notes", "MISSED"),
                                ("BM_SearchNothing", "MISSED"), ("BM_SearchOnePercent", "MET"),
                                ("note editor", "MISSED"), ("login", "MET"),
                                ("commit elsewhere to this list", "MET"), ("the same, worst", "MISSED"),
                                ("main thread's timer late", "MET"), ("a save of that row fails as busy", "MET"),
                                ("new, start to exit", "MET"), ("export --markdown, 10,000 notes", "MISSED")):
            with self.subTest(label=label):
                # Start-up and idle both have a row for each file.
                if label in ("fresh file", "10,000 notes"):
                    rows = [l for l in out.splitlines() if l.startswith("  " + label + " ")]
                    self.assertEqual([r.split("  ")[-1].strip() for r in rows], [expected] * 2, out)
                else:
                    self.assertEqual(verdict_of(out, label), expected)
        self.assertIn("39.0", out)
        self.assertIn("21.5", [w for l in out.splitlines() if "BM_SearchStatementOnly" in l for w in l.split()])
        self.assertIn("4.50", out)
        self.assertIn("creating the same files there: median 1900 ms", out)

    def test_failed_measurements(self):
        errored = benchmarks() + [{"name": "BM_FullRefill/1000/iterations:1/repeats:15", "error_occurred": True,
                                   "error_message": "fill failed"}]
        for name, kwargs, expected in (
                ("part failed", {"status": {"startup": 1}}, "startup ended with status 1"),
                ("part missing", {"status": {"dialogs": None}}, "dialogs did not run"),
                ("case errored", {"benches": errored}, "fill failed"),
                ("no dialog rows", {"dialogs": "Segmentation fault\n"}, "dialogs.log holds no figures"),
                ("floor silent", {"status": {"search_floor": 0}, "floor": "\n"}, "search_floor printed nothing")):
            with self.subTest(name):
                rc, out = run_table(**kwargs)
                self.assertEqual(rc, 1, out)
                self.assertIn(expected, out)

    def test_floor_shown_when_present(self):
        rc, out = run_table(status={"search_floor": 0}, floor="runs 9\nmedian 17.3 ms\n")
        self.assertEqual(rc, 0, out)
        self.assertIn("median 17.3 ms", out)


if __name__ == "__main__":
    unittest.main()
