#!/usr/bin/env python3
"""Prints one table of every benchmark figure beside its goal, from the outputs
that bench/run-all.sh keeps in its log folder:

  status            "key value" lines: each part's exit status, quick, openings, ...
  notelist.json     bench_notelist's JSON output (medians of its repetitions)
  dialogs.log       bench_dialogs' printed table
  search_floor.log  the floor script's output, when it ran (its last line is shown)
  startup.summary   bench/startup.sh's "key value" summary
  live.log          bench_live latency: another process's commit to this copy's list
  held.log          bench_live held: the main thread beside a row another program holds
  server.log        bench_live ops on 10,000 notes in a file and on a server
  ctl.log           bench/ctl.sh: penwickctl new, and an export of 10,000 notes to Markdown

  bench_table.py LOG_DIR

Exit status 0 when every part ran and its figures could be read, 1 otherwise;
a missed goal is not a failure.
"""
import json
import math
import os
import re
import sys

START_RATIO_GOAL = 1.2  # start-up median against the reference's median
IDLE_GOAL = 0.2  # context switches per second, the change listener in place
SEARCH_GOAL_MS = 40.0  # one search keystroke at 10,000 notes
SEARCH_GOAL_CASES = ("BM_SearchOnePercent", "BM_SearchNothing")
DIALOG_GROWTH_GOAL_MIB = 2.0
LIVE_MEDIAN_GOAL_MS = 100.0
LIVE_WORST_GOAL_MS = 300.0
HELD_LATE_GOAL_MS = 200.0
HELD_SAVE_GOAL_MS = 1200.0
CTL_NEW_GOAL_MS = 150.0
CTL_EXPORT_GOAL_MS = 2000.0
LIVE = re.compile(r"live latency ms: median ([\d.]+) worst ([\d.]+) changes (\d+)")
SERVER_RATIO_GOAL = 2.0  # on a server over loopback against the same notes in a file
OPS = re.compile(r"ops (\w+): search ms median ([\d.]+); save ms median ([\d.]+)")
HELD = re.compile(r"held row: timer late ms median ([\d.]+) worst ([\d.]+); busy save ms ([\d.]+) \((busy|NOT busy)\)")
CTL = re.compile(r"penwickctl new ms: median ([\d.]+) worst ([\d.]+); export markdown ms: median ([\d.]+) "
                 r"worst ([\d.]+) files (\d+)(?: floor ([\d.]+))?")
SIZES = (1000, 10000, 100000)
# The list cases in the order a reader wants them; any other case follows.
LIST_ORDER = ("BM_FullRefill", "BM_ReadRowsOnly", "BM_SearchOnePercent", "BM_SearchNothing")
UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def read_pairs(path):
    """A file of "key value" lines as a dict; None when it is missing."""
    try:
        with open(path, encoding="utf-8") as f:
            return dict(line.split(None, 1) for line in f.read().splitlines() if len(line.split(None, 1)) == 2)
    except OSError:
        return None


def number(text):
    try:
        value = float(text)
    except (TypeError, ValueError):
        return None
    return value if math.isfinite(value) else None


def read_notelist(path):
    """{case: {size: median ms}} and the errors, from google-benchmark JSON."""
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    medians, errors = {}, []
    for bench in data.get("benchmarks", []):
        parts = bench.get("run_name", bench.get("name", "")).split("/")
        case = parts[0]
        size = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else None
        if bench.get("error_occurred"):
            errors.append("%s: %s" % (bench.get("name"), bench.get("error_message", "error")))
            continue
        if bench.get("run_type") == "aggregate" and bench.get("aggregate_name") != "median":
            continue
        scale = UNIT_MS.get(bench.get("time_unit", "ns"))
        value = number(bench.get("real_time"))
        if scale is None or value is None:
            errors.append("%s: unreadable time" % bench.get("name"))
            continue
        # A median wins over a lone run of the same case.
        if bench.get("run_type") == "aggregate" or size not in medians.get(case, {}):
            medians.setdefault(case, {})[size] = value * scale
    return medians, errors


DIALOG_ROW = re.compile(r"^(\S.*?)\s+(\d+)\s+(-?[\d.]+)\s+(-?[\d.]+)\s+(-?[\d.]+)\s*$")


def read_dialogs(path):
    """[(dialog, openings, first MiB, last MiB, growth MiB)] from bench_dialogs' table."""
    rows = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = DIALOG_ROW.match(line.rstrip("\n"))
            if m:
                rows.append((m.group(1), int(m.group(2))) + tuple(float(m.group(i)) for i in (3, 4, 5)))
    return rows


def lines_after(path, header):
    """The non-empty lines after the last one that contains `header`; the
    last line alone when none does."""
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = [line.rstrip() for line in f if line.strip()]
    starts = [i for i, line in enumerate(lines) if header in line]
    return lines[starts[-1] + 1:] if starts else lines[-1:]


def last_line(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = [line.strip() for line in f if line.strip()]
    return lines[-1] if lines else None


def fmt(value, digits=1):
    return "-" if value is None else "%.*f" % (digits, value)


def verdict(value, goal):
    if value is None:
        return "NOT MEASURED"
    return "MET" if value <= goal else "MISSED"


class Table:
    """Sections of rows: what, four figure columns, goal, verdict."""

    def __init__(self):
        self.lines = []

    def section(self, title, *heads):
        self.lines.append(("section", [title] + list(heads) + [""] * (4 - len(heads)) + ["goal", "verdict"]))

    def row(self, what, *cells, goal="", verdict=""):
        self.lines.append(("row", ["  " + what] + list(cells) + [""] * (4 - len(cells)) + [goal, verdict]))

    def note(self, text):
        self.lines.append(("note", text))

    def render(self):
        cells = [c for kind, c in self.lines if kind != "note"]
        widths = [max(len(c[i]) for c in cells) for i in range(7)]
        rule = "-" * (sum(widths) + 2 * 6)
        out = []
        for kind, c in self.lines:
            if kind == "note":
                out.append("    " + c)
                continue
            if kind == "section":
                out.append(rule)
            text = c[0].ljust(widths[0])
            for i in range(1, 5):
                text += "  " + c[i].rjust(widths[i])
            text += "  " + c[5].ljust(widths[5]) + "  " + c[6]
            out.append(text.rstrip())
        out.append(rule)
        return "\n".join(out)


def main(argv):
    if len(argv) != 2:
        print("usage: bench_table.py LOG_DIR", file=sys.stderr)
        return 2
    logs = argv[1]
    status = read_pairs(os.path.join(logs, "status")) or {}
    problems = []
    goals = {"MET": 0, "MISSED": 0, "NOT MEASURED": 0}

    def judged(value, goal):
        v = verdict(value, goal)
        goals[v] += 1
        return v

    def part_ok(name):
        rc = status.get(name)
        if rc is None:
            problems.append("%s did not run" % name)
            return False
        if rc != "0":
            problems.append("%s ended with status %s (see %s.log)" % (name, rc, name))
            return False
        return True

    def printed(name, header, unrecorded_ok=False):
        """The lines a part printed after its header; none, and a problem when
        it ran, when there are none. "absent": the part is not in this tree."""
        if status.get(name) == "absent" or (unrecorded_ok and name not in status) or not part_ok(name):
            return []
        try:
            lines = lines_after(os.path.join(logs, name + ".log"), header)
        except OSError:
            lines = []
        if not lines:
            problems.append("%s printed nothing" % name)
        return lines

    quick = status.get("quick") == "1"
    openings = status.get("openings", "?")
    table = Table()

    # Start-up and idle, against the reference tray program.
    summary = None
    if part_ok("startup"):
        summary = read_pairs(os.path.join(logs, "startup.summary"))
        if summary is None:
            problems.append("startup wrote no summary")
    summary = summary or {}

    def s(key):
        return number(summary.get(key))

    ref_ms = s("reference_tray_ms")
    table.section("Start-up to the tray icon", "median ms", "min-max ms", "ratio", "RSS MiB")
    for name, label in (("fresh", "fresh file"), ("notes10k", "10,000 notes"), ("reference", "reference program")):
        ms = s(name + "_tray_ms")
        span = "%s-%s" % (fmt(s(name + "_tray_ms_min")), fmt(s(name + "_tray_ms_max")))
        if name == "reference":
            table.row(label, fmt(ms), span, "", fmt(s(name + "_rss_mib")))
            continue
        ratio = ms / ref_ms if ms is not None and ref_ms else None
        table.row(label, fmt(ms), span, fmt(ratio, 2), fmt(s(name + "_rss_mib")),
                  goal="<= %.1f x reference" % START_RATIO_GOAL, verdict=judged(ratio, START_RATIO_GOAL))
    if summary:
        table.note("medians of %s starts each, taking turns; load average (1 min) at the starts: median %s, largest %s"
                   % (summary.get("fresh_starts", "?"), summary.get("load1_median", "?"), summary.get("load1_max", "?")))

    table.section("Idle in the tray", "switches/s", "reference")
    ref_idle = s("reference_idle_per_s")
    for name, label in (("fresh", "fresh file"), ("notes10k", "10,000 notes")):
        rate = s(name + "_idle_per_s")
        table.row(label, fmt(rate, 2), fmt(ref_idle, 2), goal="<= %.1f /s" % IDLE_GOAL,
                  verdict=judged(rate, IDLE_GOAL))
    if summary:
        table.note("no running alarm; context switches of all threads over %s s, after %s s to settle"
                   % (summary.get("idle_s", "?"), summary.get("settle_s", "?")))

    # The note list and the checker.
    medians = {}
    if part_ok("notelist"):
        try:
            medians, errors = read_notelist(os.path.join(logs, "notelist.json"))
            problems.extend("notelist case failed: " + e for e in errors)
            if not medians:
                problems.append("notelist.json holds no figures")
        except (OSError, ValueError) as e:
            problems.append("cannot read notelist.json: %s" % e)
    table.section("Note list, median ms", *["{:,} notes".format(n) for n in SIZES])
    cases = [c for c in LIST_ORDER if c in medians] + sorted(
        c for c in medians if c not in LIST_ORDER and c != "BM_CheckerPass")
    if not medians:
        cases = [c for c in LIST_ORDER if c != "BM_ReadRowsOnly"]
    for case in cases:
        figures = medians.get(case, {})
        cells = [fmt(figures.get(n)) if n in figures else "-" for n in SIZES]
        if case in SEARCH_GOAL_CASES:
            table.row(case, *cells, goal="10,000: <= %.0f ms" % SEARCH_GOAL_MS,
                      verdict=judged(figures.get(10000), SEARCH_GOAL_MS))
        else:
            table.row(case, *cells)
        for size in sorted((n for n in figures if n not in SIZES), key=lambda n: (n is None, n)):
            table.row("%s/%s" % (case, "-" if size is None else size), fmt(figures[size]))
    if quick:
        table.note("quick run: no 100,000-note cases")
    floor = printed("search_floor", "median ms")
    if floor:
        table.note("floor, the search statements alone in isql-fb at 10,000 notes (search_floor.sh),")
        table.note("body form, text, median ms:")
        for line in floor:
            table.note("    " + line)

    # The engine's attach, with and without the program's library look-up.
    # (Logs older than this part hold no word of it.)
    attach = printed("attach", "attach ms", unrecorded_ok=True)
    if attach:
        table.section("Engine attach, median ms", "attach", "password read")
        for line in attach:
            words = line.split()
            table.row(" ".join(words[:-2]), *words[-2:])

    checker = medians.get("BM_CheckerPass", {})
    table.section("Checker's pass, median ms", "10,000 notes")
    table.row("BM_CheckerPass", fmt(checker.get(10000), 2))

    # Live copies: a change committed elsewhere, and a row held elsewhere.
    # (Logs older than these parts hold no word of them.)
    def matched(name, pattern):
        if name not in status or status.get(name) == "absent" or not part_ok(name):
            return None
        try:
            m = pattern.search(last_line(os.path.join(logs, name + ".log")) or "")
        except OSError:
            m = None
        if not m:
            problems.append("%s printed no result" % name)
        return m

    live = matched("live", LIVE)
    table.section("Live copies, ms", "median", "worst", "changes")
    if live or "live" in status:
        med, worst = (number(live.group(1)), number(live.group(2))) if live else (None, None)
        changes = live.group(3) if live else "-"
        table.row("commit elsewhere to this list", fmt(med), "", changes, goal="median <= %.0f" % LIVE_MEDIAN_GOAL_MS,
                  verdict=judged(med, LIVE_MEDIAN_GOAL_MS))
        table.row("the same, worst", "", fmt(worst), changes, goal="worst <= %.0f" % LIVE_WORST_GOAL_MS,
                  verdict=judged(worst, LIVE_WORST_GOAL_MS))
    held = matched("held", HELD)
    if held or "held" in status:
        table.section("A row held by another program, ms", "median", "worst")
        late = number(held.group(2)) if held else None
        save = number(held.group(3)) if held and held.group(4) == "busy" else None
        table.row("main thread's timer late", fmt(number(held.group(1)) if held else None), fmt(late),
                  goal="worst <= %.0f" % HELD_LATE_GOAL_MS, verdict=judged(late, HELD_LATE_GOAL_MS))
        table.row("a save of that row fails as busy", "", fmt(save, 0), goal="<= %.0f" % HELD_SAVE_GOAL_MS,
                  verdict=judged(save, HELD_SAVE_GOAL_MS))

    # The companion command, started from a shell.
    ctl = matched("ctl", CTL)
    if ctl or "ctl" in status:
        table.section("penwickctl, ms", "median", "worst")
        new, export = (number(ctl.group(1)), number(ctl.group(3))) if ctl else (None, None)
        table.row("new, start to exit", fmt(new), fmt(number(ctl.group(2))) if ctl else "-",
                  goal="median <= %.0f" % CTL_NEW_GOAL_MS, verdict=judged(new, CTL_NEW_GOAL_MS))
        table.row("export --markdown, 10,000 notes", fmt(export, 0), fmt(number(ctl.group(4)), 0) if ctl else "-",
                  goal="median <= %.0f" % CTL_EXPORT_GOAL_MS, verdict=judged(export, CTL_EXPORT_GOAL_MS))
        if ctl and ctl.group(6):
            table.note("the file system's floor, a bare loop creating the same files there: median %s ms"
                       % ctl.group(6))

    # The same notes on a server over loopback, against the file.
    if status.get("server") not in (None, "absent") and part_ok("server"):
        try:
            with open(os.path.join(logs, "server.log"), encoding="utf-8", errors="replace") as f:
                ops = {m.group(1): (number(m.group(2)), number(m.group(3))) for m in map(OPS.search, f) if m}
        except OSError:
            ops = {}
        if "file" not in ops or "server" not in ops:
            problems.append("server printed no result")
        table.section("10,000 notes on a server (loopback)", "file", "server", "ratio")

        def ratio_row(what, here, there):
            ratio = there / here if here and there is not None else None
            table.row(what, fmt(here), fmt(there), fmt(ratio, 2), goal="<= %.0f x file" % SERVER_RATIO_GOAL,
                      verdict=judged(ratio, SERVER_RATIO_GOAL))

        ratio_row("start to the tray icon, ms", s("notes10k_tray_ms"), s("server10k_tray_ms"))
        ratio_row("search keystroke, ms", *(ops.get(k, (None, None))[0] for k in ("file", "server")))
        ratio_row("save of a note, ms", *(ops.get(k, (None, None))[1] for k in ("file", "server")))

    # The dialogs' memory.
    dialogs = []
    if part_ok("dialogs"):
        try:
            dialogs = read_dialogs(os.path.join(logs, "dialogs.log"))
        except OSError as e:
            problems.append("cannot read dialogs.log: %s" % e)
        if not dialogs:
            problems.append("dialogs.log holds no figures")
    table.section("Dialogs, RSS MiB", "after first", "after last", "growth", "openings")
    for name, count, first, last, growth in dialogs:
        table.row(name, fmt(first), fmt(last), fmt(growth, 2), str(count), goal="growth <= %.0f MiB"
                  % DIALOG_GROWTH_GOAL_MIB, verdict=judged(growth, DIALOG_GROWTH_GOAL_MIB))
    if not dialogs:
        table.row("(none)", goal="growth <= %.0f MiB" % DIALOG_GROWTH_GOAL_MIB, verdict=judged(None, 0))

    title = "Penwick benchmarks"
    if quick:
        title += " -- QUICK RUN (BENCH_QUICK=1): fewer starts, shorter idle, fewer openings; not the real measurement"
    print(title)
    print("machine: %s CPUs; load average (1 min) before %s, after %s; logs in %s"
          % (status.get("cpus", "?"), status.get("load_start", "?"), status.get("load_end", "?"), logs))
    print(table.render())
    print("goals: %d met, %d missed, %d not measured" % (goals["MET"], goals["MISSED"], goals["NOT MEASURED"]))
    if problems:
        print("MEASUREMENT FAILED:")
        for p in problems:
            print("  " + p)
        return 1
    print("every part measured")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
