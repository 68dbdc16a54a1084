"""The soak's own checks, without a station: a made-up run that keeps every
invariant, and one case a row that breaks exactly one of them (so that no
invariant is one that cannot fail), and the session log parsed as zsim writes it.

    /usr/bin/python3 -B -m unittest discover -s tests/soak -p 'test_*.py'
"""
import json
import os
import tempfile
import types
import unittest

from events import Disk
from fixture import Fixture
from invariants import INVARIANTS, Busiest, Check
from plan import Unit
from records import Records
from station import Proc

PORT = "/tmp/zsoak-test/tty1"
S1, S2 = "a" * 32, "b" * 32


def ZsimLog(fx, lines):
    """Feeds zsim --log --log-time lines to the fixture's parser."""
    for t, text in lines:
        fx._OnLog(f"{t:.6f} zsim: {text}", t)


def Session(capture_at, codes):
    """A capture and the requests after it, each 10 ms apart."""
    lines = [(capture_at, "capture request: captured (good acknowledgement)")]
    t = capture_at
    for code, n in codes:
        for _ in range(n):
            t += 0.01
            lines.append((t, f"request {code}, 1024 bytes"))
    return lines


def Record(event, session, **extra):
    r = {"schema": 3, "event": event, "session": session, "port": PORT, "device": {"product": "VKT-3", "hw": "VKT3K"},
         "before": {"version": "1.0.0"}, "attempts": 1, "result": "ok", "failure": {"kind": "", "detail": ""},
         "seconds": {"identify": 0.01, "query": 0.01}}
    r.update(extra)
    return r


class MadeUpRun:
    """One port, an old unit programmed (u1) and a current one verified (u2), as a clean run leaves them."""

    def __init__(self, folder):
        self.folder = folder
        units = [Unit("u1", "old", "fw=old", "VKT3K", "1.0.0"), Unit("u2", "current", "fw=current", "VKT3K", "1.10.3")]
        self.plan = types.SimpleNamespace(ports=[types.SimpleNamespace(units=units)], retries=1, count=0, width=80)
        fx = Fixture("zsim", PORT, "ctl", [(u.name, u.kind, u.spec) for u in units], [], folder, 1)
        ZsimLog(fx, Session(1.0, [(3, 1), (4, 1), (93, 1), (92, 1), (190, 48), (191, 48)]) +
                [(3.0, "unit u1 taken out"), (3.5, "unit u2 plugged in"), (3.5, "power up: boot loader")] +
                Session(4.0, [(3, 1), (4, 1), (191, 48)]) + [(6.0, "unit u2 taken out")])
        fx.report = {"u1": {"program-passes": "1", "version": "1.10.3"},
                     "u2": {"program-passes": "0", "version": "1.10.3"}}
        self.fixtures = [fx]
        self.entries = [Record("start", S1), Record("end", S1), Record("start", S2, before={"version": "1.10.3"}),
                        Record("end", S2, before={"version": "1.10.3"}, attempts=0, result="current")]
        self.t0 = 0.0
        self.stop = self.killed_at = self.end_press_at = self.forced_end = self.idle_after_stop = None
        self.stuck, self.leftovers = [], []
        self.timed_out = False
        self.arrivals = {PORT: [3.0, 5.5]}
        self.noticed = [(1, 0.3)]
        self.disk = Disk(os.path.join(folder, "disk"))
        self.validate = (0, "")
        worker = Proc(11, ["zflash", "station", "--port", PORT], 0.0)
        worker.rss = [(t, 8500, units) for t, units in ((0.5, 0), (3.0, 1), (5.5, 2))]
        worker.cpu, worker.gone_at = [(0.0, 0.0), (3.0, 0.1), (6.0, 0.2)], 7.0
        self.station = types.SimpleNamespace(pid=10, exit_code=0, procs={11: worker}, ended_at=None)
        self.terminal = types.SimpleNamespace(
            screen=types.SimpleNamespace(wraps=[], header_draws=[i / 10 for i in range(0, 60, 2)]),
            double_headers=[], first_byte_at=0.0, last_byte_at=6.0, bytes=6000,
            chunks=[(i / 10, 100) for i in range(60)], CursorHidden=lambda: False,
            raw_path=os.path.join(folder, "terminal.raw"))
        self.summary = {}  # rows that differ from what the records say

    def UnitReport(self, name):
        return self.fixtures[0].report.get(name, {})

    def Finish(self):
        results = [e["result"] for e in self.entries if e["event"] == "end"]
        counts = [results.count("ok"), results.count("current"), len(results)]
        counts[2] -= counts[0] + counts[1]
        said = f"{len(results)}  {counts[0]}  {counts[1]}  {counts[2]}"
        rows = {PORT: said, "all": said}
        rows.update(self.summary)
        with open(self.terminal.raw_path, "w", encoding="utf-8") as f:
            f.write("\x1b[?25h\x1b[JPort  Units  ok  current  failed  yield  units/h\r\n" +
                    "".join(f"{name}  {row}  100%  1200\r\n" for name, row in rows.items()))
        path = os.path.join(self.folder, "records.jsonl")
        with open(path, "w", encoding="utf-8") as f:
            f.writelines(json.dumps(e) + "\n" for e in self.entries)
        self.records = Records(path)
        return self


def DropEnd(run, session):
    run.entries = [e for e in run.entries if not (e["event"] == "end" and e["session"] == session)]


def Set(obj, **values):
    for k, v in values.items():
        setattr(obj, k, v)


def GrowingWorker(run):
    w = run.station.procs[11]
    w.rss = [(u, 8500 + u, u) for u in range(91)]  # a KiB a unit


# (invariant, what the run is made to do, a part of what the invariant must say)
BROKEN = [
    ("one-end-per-session", lambda r: DropEnd(r, S2), "no end record for u2"),
    ("start-before-flash", lambda r: r.entries.pop(0), "no start entry for u1"),
    ("result-agrees", lambda r: r.entries[3].update(result="ok", attempts=1), "u2: ok but the device was not written"),
    ("programmed-within-retries", lambda r: r.fixtures[0].report["u1"].update({"program-passes": "3"}),
     "programmed 3 times"),
    ("unplug-interrupts", lambda r: Set(r.fixtures[0].sessions[0], pulled=(1.5, "program", 20, 0)), "recorded ok"),
    ("unplug-noticed", lambda r: r.noticed.append((1, None)), "did not say \"adapter removed\""),
    ("exit-code-agrees", lambda r: r.entries[1].update(result="failed"), "exit code 0 beside"),
    ("stop-respected", lambda r: Set(r, stop=("ctrl-c", 0.2)), "u1 was written though captured"),
    ("station-ends", lambda r: Set(r, forced_end="SIGKILL"), "the harness used SIGKILL"),
    ("station-ends", lambda r: Set(r, idle_after_stop=20), "with no unit under way"),
    ("workers-die-with-supervisor", lambda r: Set(r, killed_at=5.0), "alive 2.0 s after"),
    ("no-process-left", lambda r: Set(r, leftovers=[r.station.procs[11]]), "pid 11 alive"),
    ("ports-keep-serving", lambda r: r.stuck.append("port 1: u2 not captured"), "u2 not captured"),
    ("records-valid", lambda r: Set(r, validate=(1, "records.jsonl:2: $.x: bad")), "$.x: bad"),
    ("screen-fits", lambda r: r.terminal.screen.wraps.append((1.0, "display", "x" * 90)), "wider than 80 columns"),
    ("one-header", lambda r: r.terminal.double_headers.append((1.0, "units 1 ok\nunits 1 ok")), "two or more"),
    ("cursor-restored", lambda r: Set(r.terminal, CursorHidden=lambda: True), "cursor is still hidden"),
    ("redraw-rate", lambda r: r.terminal.screen.header_draws.extend(2 + i / 100 for i in range(30)), "redraws"),
    ("terminal-bytes", lambda r: Set(r.terminal, bytes=600000, chunks=[(i / 10, 10000) for i in range(60)]),
     "bytes a second"),
    ("memory-flat", GrowingWorker, "KiB a unit"),
    ("processor-modest", lambda r: r.station.procs[11].cpu.extend([(6.5, 1.0), (8.5, 3.0)]), "of a core"),
    ("disk-full-stops", lambda r: (Set(r.disk, filled_at=2.0), DropEnd(r, S2), Set(r, end_press_at=40.0),
                                   Set(r.station, exit_code=5)), "the station ran on 34 s"),
    ("count-exact", lambda r: Set(r.plan, count=1), "2 units recorded with --count 1"),
    ("summary-agrees", lambda r: r.summary.update(all="2  2  0  0"), "all: the summary says 2 ok, 0 current"),
]


class InvariantsTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def Run(self):
        return MadeUpRun(self.dir.name)

    def test_a_clean_run_keeps_every_invariant(self):
        self.assertEqual(Check(self.Run().Finish()), [])

    def test_each_invariant_breaks_alone_on_its_fault(self):
        self.assertEqual({name for name, _, _ in BROKEN}, {inv.name for inv in INVARIANTS},
                         "every invariant has its case")
        for name, breaking, says in BROKEN:
            with self.subTest(name):
                run = self.Run()
                breaking(run)
                broken = Check(run.Finish())
                self.assertEqual([n for n, _ in broken], [name], broken)
                self.assertIn(says, "\n".join(broken[0][1]))

    def test_memory_that_steps_once_is_flat_and_a_slow_leak_is_not(self):
        for name, rss, flat in [
            ("a step of 72 KiB at unit 48 of 67", lambda u: 8500 + (72 if u >= 48 else 0), True),
            ("two steps in one half", lambda u: 8500 + (40 if u >= 48 else 0) + (32 if u >= 53 else 0), True),
            ("a KiB a unit (a slower leak needs a longer run: zbench station)", lambda u: 8500 + u, False),
            ("a step in each half", lambda u: 8500 + (40 if u >= 30 else 0) + (40 if u >= 60 else 0), False),
        ]:
            with self.subTest(name):
                run = self.Run()
                run.station.procs[11].rss = [(u, rss(u), u) for u in range(68)]
                broken = [n for n, _ in Check(run.Finish())]
                self.assertEqual("memory-flat" not in broken, flat, broken)

    def test_what_a_unit_held_is_judged_once_it_was_asked(self):
        for name, seconds, broken in [("asked", {"identify": 0.01, "query": 0.01}, True),
                                      ("stopped before it was asked", {"identify": 0.01}, False)]:
            with self.subTest(name):
                run = self.Run()
                run.entries[1].update(before={"version": ""}, seconds=seconds)
                self.assertEqual("result-agrees" in [n for n, _ in Check(run.Finish())], broken)

    def test_sessions_are_power_ups_the_host_captured(self):
        run = self.Run()
        first, second = run.fixtures[0].sessions
        self.assertEqual((first.unit, first.wrote, first.reached_flash), ("u1", True, True))
        self.assertEqual((second.unit, second.wrote, second.reached_flash), ("u2", False, True))
        self.assertAlmostEqual(first.first_write_at, 1.04)
        self.assertEqual(second.entered["verify"], 1)
        # Requests after the unit went are its session's, sent into the void.
        ZsimLog(run.fixtures[0], [(7.0, "request 92, 1 bytes")])
        self.assertTrue(second.tried_to_write)
        self.assertFalse(second.wrote)

    def test_busiest_is_the_highest_rate_over_the_span(self):
        samples = [(0, 0), (1, 1), (2, 2), (3, 10), (4, 11), (10, 12)]
        self.assertEqual(Busiest(samples, 1), 8)
        self.assertEqual(Busiest(samples, 2), 4.5)
        self.assertEqual(Busiest(samples[:1], 1), 0)


if __name__ == "__main__":
    unittest.main()
