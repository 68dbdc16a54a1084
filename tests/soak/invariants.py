"""What must hold after every run of the soak, one line each in INVARIANTS:
a name and a function of the run that returns what it found broken (a list
of sentences; empty: it holds).

The ledger pairs each port's sessions as its fixture saw them (a unit's
power-up that the host captured) with the port's end records, in order: a
session whose unit was identified (the host asked its hardware) takes the
next record; one that was not takes it only when that record names no device.
"""
import collections
import re

from events import NOTICE_S
from fixture import PROGRAM_CODES, VERIFY_CODES
from plan import IMAGE_VERSION

GRACE_S = 0.5  # a signal and a capture at the same moment: either may come first
QUERY_HW = 3
GET_INFO = 4  # asked of the flash loader: the device is known by then
SESSION_ID = re.compile(r"^[0-9a-f]{32}$")
FAILING = ("failed", "interrupted", "bad-input", "no-device")
# A unit, in the figures and for --count: a session that had a device, but a
# re-seated one (its unit's next session counts it).
UNIT_RESULTS = ("ok", "current", "failed", "interrupted", "bad-input")


def IsUnit(r):
    """A record that counts as a unit: its device identified, and not re-seated or cancelled."""
    return r.get("result") in UNIT_RESULTS and bool(Device(r))
# Events after which the soak cannot know all the host sent (to a unit gone or powered up again).
DISTURBING = {"unplug", "unplug-name-reused", "pull-unit", "reseat", "late-reply"}


class Ledger:
    def __init__(self, run):
        self.pairs = []  # (session, record or None)
        self.arrived = {}  # id(record) -> when the run first saw it
        self.extra = []  # (port, record): records no session accounts for
        self.units = {u.name: u for p in run.plan.ports for u in p.units}
        for fx in run.fixtures:
            ends = list(run.records.Ends(fx.port))
            for r, t in zip(ends, run.arrivals.get(fx.port, [])):
                self.arrived[id(r)] = t
            for s in fx.sessions:
                s.identified = s.codes[QUERY_HW] > 0
                r = ends[0] if ends else None
                if r is not None and not s.identified and Device(r):
                    r = None  # that record is a later session's
                if r is not None:
                    ends.pop(0)
                self.pairs.append((s, r))
            self.extra += [(fx.port, r) for r in ends]

    def ByUnit(self):
        out = collections.defaultdict(list)
        for s, r in self.pairs:
            out[s.unit].append((s, r))
        return out


def Device(r):
    d = r.get("device")
    return d.get("hw", "") if isinstance(d, dict) else ""


def Field(r, *path):
    for key in path:
        r = r.get(key) if isinstance(r, dict) else None
    return r


def Lost(run, s, later_recorded):
    """Why a session may be without its end record, or None. Records of a
    port come in order: one missing before a later one was skipped, not lost."""
    if not s.identified:
        return "never identified"
    if run.killed_at is not None and not later_recorded and \
            (s.ended_at is None or s.last_request_at > run.killed_at - 2 or s is LastOfPort(run, s)):
        return "under way when the supervisor was killed"
    if run.disk.filled_at is not None and not later_recorded:
        return "its record came after the disk was full"
    if run.plan.count and not s.wrote and \
            len([r for r in run.records.AllEnds() if IsUnit(r)]) == run.plan.count:
        return "identified after the count was reached"
    return None


def LastOfPort(run, s):
    """The last session of s's port (the host may still be in it: waiting out an erase)."""
    for fx in run.fixtures:
        if fx.port == s.port and fx.sessions:
            return fx.sessions[-1]
    return None


def OneEndPerSession(run, led):
    """Every unit identified has exactly one end record (but those lost with a killed supervisor or a full
    disk, or left untaken by --count), and every end record a unit."""
    out = []
    for i, (s, r) in enumerate(led.pairs):
        later = any(r2 is not None for s2, r2 in led.pairs[i + 1:] if s2.port == s.port)
        if r is None and not Lost(run, s, later):
            out.append(f"no end record for {s.describe(run.t0)} on {s.port}")
    for port, r in led.extra:
        out.append(f"an end record on {port} that no session accounts for: {r.get('result')} "
                   f"{Device(r) or '(no device)'} at {r.get('time')}")
    return out


def StartBeforeFlash(run, led):
    """Write-ahead: each session that reached the flash has exactly one start,
    written before it, with the session id its end carries; no other session has one."""
    out = []
    for fx in run.fixtures:
        starts = run.records.Starts(fx.port)
        pairs = [(s, r) for s, r in led.pairs if s.port == fx.port]
        ended = {r.get("session") for _, r in pairs if r is not None}
        used = set()
        for s, r in pairs:
            rid = r.get("session") if r else None
            if r is not None and r.get("schema", 0) >= 3 and not SESSION_ID.match(str(rid)):
                out.append(f"end record of {s.unit} has no session id: {rid!r}")
            mine = [st for st in starts if rid and st.get("session") == rid]
            if r is None and s.reached_flash:  # its end lost: the first start that no end claims
                mine = [st for st in starts if st.get("session") not in ended | used][:1]
            used |= {st.get("session") for st in mine}
            if not s.reached_flash and mine and r is not None:
                out.append(f"a start for {s.unit}, which never reached the flash")
            elif s.reached_flash and not mine:
                out.append(f"no start entry for {s.describe(run.t0)}")
            elif len(mine) > 1:
                out.append(f"{len(mine)} start entries for {s.unit} (session {rid})")
        out += [f"a start on {fx.port} that no session accounts for: session {st.get('session')}"
                for st in starts if st.get("session") not in used]
    return out


def ResultAgrees(run, led):
    """Each record says what the device went through."""
    out = []
    for s, r in led.pairs:
        if r is None:
            continue
        u = led.units[s.unit]
        result, attempts = r.get("result"), r.get("attempts")
        said = f"{s.unit}: {result}"
        verified = s.count(VERIFY_CODES) > 0
        if result == "ok" and not (s.wrote and verified):
            out.append(f"{said} but the device was {'not written' if not s.wrote else 'not verified'}")
        if result == "current" and (s.wrote or not verified):
            out.append(f"{said} but the device was {'written' if s.wrote else 'not verified'}")
        if result in ("cancelled", "bad-input", "no-device") and s.wrote:
            out.append(f"{said} but the device was written")
        if result == "interrupted" and not s.tried_to_write and s.pulled is None and not DISTURBING & set(s.events):
            out.append(f"{said} but nothing was written to the device (nor sent to be)")
        if s.codes[GET_INFO] and not Device(r):
            out.append(f"{said}: the record names no device, though its flash loader was asked for its firmware")
        if Field(r, "failure", "kind") == "verify-mismatch" and not verified:
            out.append(f"{said} (verify-mismatch) but the device was never verified")
        if s.count(PROGRAM_CODES) and attempts == 0:
            out.append(f"{said} with attempts 0, but the device was programmed")
        if result == "ok" and not attempts:
            out.append(f"{said} with attempts {attempts!r}")
        if Device(r) and Device(r) != u.hw:
            out.append(f"{said}: device {Device(r)}, but the unit is {u.hw}")
    for unit, sessions in led.ByUnit().items():
        s, r = sessions[0]
        u = led.units[unit]
        before = Field(r, "before", "version")
        # What the unit held is known once its flash loader was asked (a session stopped before that
        # names the device and leaves `before` empty).
        asked = r is not None and "query" in (r.get("seconds") or {})
        if asked and Device(r) and before != u.version:
            out.append(f"{unit}: before {before!r}, but the unit held {u.version!r}")
        last = sessions[-1][1]
        version = run.UnitReport(unit).get("version")
        if last is not None and last.get("result") in ("ok", "current") and version != IMAGE_VERSION:
            out.append(f"{unit}: last record {last.get('result')}, but the unit holds {version}")
    return out


def ProgrammedWithinRetries(run, led):
    """No unit is programmed more often than its records' attempts say, nor more than --retries allows."""
    out = []
    for unit, sessions in led.ByUnit().items():
        report = run.UnitReport(unit)
        passes = int(report.get("program-passes", 0))
        attempts = sum(int(r.get("attempts") or 0) for _, r in sessions if r is not None)
        if passes > attempts and all(r is not None for _, r in sessions):
            out.append(f"{unit}: programmed {passes} times, its records say {attempts}")
        for _, r in sessions:
            if r is not None and isinstance(r.get("attempts"), int) and r["attempts"] > run.plan.retries + 1:
                out.append(f"{unit}: attempts {r['attempts']} with --retries {run.plan.retries}")
    return out


def UnplugInterrupts(run, led):
    """A unit whose adapter went while it was erased, programmed or verified
    is recorded interrupted, within seconds."""
    out = []
    for s, r in led.pairs:
        if s.pulled is None or r is None:
            continue
        at, phase, programmed, verified = s.pulled
        mid = phase in ("erase", "program", "verify")
        if not mid:
            continue
        if r.get("result") != "interrupted":
            out.append(f"{s.unit}: adapter pulled in {phase} (program {programmed}, verify {verified} "
                       f"requests), recorded {r.get('result')}/{Field(r, 'failure', 'kind')}")
        late = led.arrived.get(id(r), at) - at
        if late > 5:
            out.append(f"{s.unit}: its record came {late:.0f} s after its adapter was pulled")
    return out


def UnplugNoticed(run, led):
    """An adapter pulled for seconds shows as "adapter removed" on its port's line within 1.5 s."""
    return [f"port {port}: its line did not say \"adapter removed\" within {NOTICE_S} s of the unplug"
            for port, seconds in run.noticed if seconds is None or seconds > NOTICE_S]


def StationEnds(run, led):
    """Stopped (a stop event, or the operator's Ctrl-C at the end of the shift), the station ends: with
    no unit under way, by itself at once; else at the latest on two presses of Ctrl-C in a row."""
    why = run.stop[0] if run.stop else "the Ctrl-C at the end of the shift"
    if run.forced_end:
        return [f"the station did not end after {why} and two more presses: the harness used {run.forced_end}"]
    if run.idle_after_stop:
        return [f"the station ran on {run.idle_after_stop} s after {why}, with no unit under way"]
    return []


def ExitCodeAgrees(run, led):
    """The exit code agrees with the records: never 0 beside a failed, interrupted or refused unit or a
    lost record; 5 when a record was lost to a full disk; not 1 when nothing failed."""
    code = run.station.exit_code
    if run.killed_at is not None or code is None or code < 0:
        return []
    results = [r.get("result") for r in run.records.AllEnds()]
    failing = [x for x in results if x in FAILING]
    lost = [s for s, r in led.pairs if r is None and s.identified and run.disk.filled_at is not None]
    if code == 0 and failing:
        return [f"exit code 0 beside {len(failing)} record(s) {sorted(set(failing))}"]
    if code == 0 and lost:
        return [f"exit code 0 though {len(lost)} record(s) were lost to the full disk"]
    if lost and code != 5:
        return [f"exit code {code} though {len(lost)} record(s) were lost to the full disk (5 expected)"]
    if code not in (0, 5) and not failing and "reseated" not in results:
        return [f"exit code {code} but no record failed ({collections.Counter(results)})"]
    return []


def StopRespected(run, led):
    """After a stop (Ctrl-C, SIGTERM, SIGHUP) no unit captured later is written."""
    if run.stop is not None and run.stop[0] != "kill-supervisor":
        name, at = run.stop
    elif run.end_press_at is not None:
        name, at = "the Ctrl-C at the end of the shift", run.end_press_at
    else:
        return []
    out = [f"{s.unit} was written though captured {s.captured_at - at:.2f} s after {name}"
           for s, _ in led.pairs if s.wrote and s.captured_at > at + GRACE_S]
    return out


def WorkersDieWithSupervisor(run, led):
    """The supervisor killed (SIGKILL), its workers end within a second and touch no device after it."""
    if run.killed_at is None:
        return []
    out = [f"worker {p.pid} ({p.port}) alive {(p.gone_at or p.last_seen) - run.killed_at:.1f} s "
           f"after the supervisor was killed"
           for p in run.station.procs.values() if p.pid != run.station.pid and
           (p.gone_at is None or p.gone_at > run.killed_at + 1)]
    out += [f"{s.unit} was still talked to {s.last_request_at - run.killed_at:.1f} s after the supervisor was killed"
            f" ({s.describe(run.t0)})" for s, _ in led.pairs if s.last_request_at > run.killed_at + GRACE_S]
    return out


def NoProcessLeft(run, led):
    """No zflash process of the run is alive 3 s after the supervisor ended."""
    return [f"pid {p.pid} alive 3 s after the station ended: {' '.join(p.cmdline)}" for p in run.leftovers]


def PortsKeepServing(run, led):
    """No port stands still while the station runs: a unit plugged in is captured, a session goes on."""
    return run.stuck + (["the run hit its time cap"] if run.timed_out else [])


def RecordsValid(run, led):
    """Every line of the records file is one JSON object that scripts/validate-records accepts."""
    out = [f"line {n}: {why}" for n, why in run.records.bad_lines]
    if run.validate and run.validate[0] != 0:
        out.append("scripts/validate-records: " + run.validate[1].strip().replace("\n", "; ")[:600])
    return out


def ScreenFits(run, led):
    """No line drawn on the terminal is wider than it (nothing wraps)."""
    out = []
    for kind in ("display", "message", "after the display"):
        wraps = [w for w in run.terminal.screen.wraps if w[1] == kind]
        if wraps:
            out.append(f"{len(wraps)} line(s) wider than {run.plan.width} columns ({kind}), first at "
                       f"{wraps[0][0] - run.t0:.1f} s: {wraps[0][2]!r}")
    return out


ESCAPE = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]")
SUMMARY_HEAD = re.compile(r"^Port\s+Units\s+ok\s+current\s+failed\b")


def SummaryRows(path):
    """{port or "all": (units, ok, current, failed)} from the last summary
    table written to the terminal; None when there is none."""
    try:
        with open(path, "rb") as f:
            text = ESCAPE.sub("", f.read().decode("utf-8", "replace"))
    except OSError:
        return None
    lines = text.replace("\r", "\n").split("\n")
    heads = [i for i, line in enumerate(lines) if SUMMARY_HEAD.match(line)]
    if not heads:
        return None
    rows = {}
    for line in lines[heads[-1] + 1:]:
        words = line.split()
        if len(words) >= 5 and all(w.isdigit() for w in words[1:5]):
            rows[words[0]] = tuple(int(w) for w in words[1:5])
    return rows


def SummaryAgrees(run, led):
    """The summary at the end counts what the records say: units ok, current and failed, by port and
    in all (unless records were lost, or the station was killed)."""
    if run.killed_at is not None or run.station.exit_code is None or run.station.exit_code < 0:
        return []
    if any(r is None and s.identified for s, r in led.pairs):
        return []
    rows = SummaryRows(run.terminal.raw_path)
    if rows is None:
        return ["no summary table at the end"]

    def Counts(ends):
        results = [r.get("result") for r in ends]
        return (results.count("ok"), results.count("current"),
                sum(x in UNIT_RESULTS for x in results) - results.count("ok") - results.count("current"))

    def Row(name):
        """The row of a port; a name too wide for the terminal shows parts of it between "..."."""
        if name in rows:
            return rows[name]
        found = [got for shown, got in rows.items() if "..." in shown and
                 re.fullmatch(".*".join(re.escape(part) for part in shown.split("...")), name, re.S)]
        return found[0] if len(found) == 1 else None

    out = []
    for name, ends in [(fx.port, run.records.Ends(fx.port)) for fx in run.fixtures] + \
            [("all", run.records.AllEnds())]:
        want, got = Counts(ends), Row(name)
        if got is None:
            out.append(f"no summary row for {name}")
        elif got[1:] != want:
            out.append(f"{name}: the summary says {got[1]} ok, {got[2]} current, {got[3]} failed; "
                       f"the records {want[0]} ok, {want[1]} current, {want[2]} failed")
    return out


def OneHeader(run, led):
    """The screen never holds two header lines."""
    d = run.terminal.double_headers
    return [f"two or more headers on the screen {len(d)} time(s), first at {d[0][0] - run.t0:.1f} s:\n"
            + d[0][1]] if d else []


def CursorRestored(run, led):
    """The cursor is visible again once the station has ended (not killed)."""
    if run.killed_at is not None or run.station.exit_code in (None, -9):
        return []
    return ["the cursor is still hidden after the station ended"] if run.terminal.CursorHidden() else []


def RedrawRate(run, led):
    """At most 10 redraws of the display a second (11 in any one-second window)."""
    draws = run.terminal.screen.header_draws
    worst, j = 0, 0
    for i, t in enumerate(draws):
        while draws[j] < t - 1.0:
            j += 1
        worst = max(worst, i - j + 1)
    return [f"{worst} redraws within one second (at most 10)"] if worst > 11 else []


def Busiest(samples, seconds):
    """The highest rate over any `seconds` of (time, running total) samples."""
    worst, j = 0.0, 0
    for i in range(len(samples)):
        while j < i and samples[i][0] - samples[j + 1][0] >= seconds:
            j += 1
        span = samples[i][0] - samples[j][0]
        if span >= seconds:
            worst = max(worst, (samples[i][1] - samples[j][1]) / span)
    return worst


def TerminalBytes(run, led):
    """At most 4 KB a second for 2 ports at 80 columns, in proportion beyond;
    no two seconds at more than four times that."""
    t = run.terminal
    if t.first_byte_at is None or t.last_byte_at - t.first_byte_at < 5:
        return []
    budget = 4096 * max(1, len(run.plan.ports) / 2) * max(1, run.plan.width / 80)
    out = []
    rate = t.bytes / (t.last_byte_at - t.first_byte_at)
    if rate > budget:
        out.append(f"{rate:.0f} bytes a second to the terminal (budget {budget:.0f})")
    total, running = 0, [(t.first_byte_at, 0)]
    for when, n in t.chunks:
        total += n
        running.append((when, total))
    burst = Busiest(running, 2)
    if burst > 4 * budget:
        out.append(f"{burst:.0f} bytes a second to the terminal over two seconds")
    return out


def MemoryFlat(run, led):
    """A worker that served 30 units or more (the supervisor: 30 units in all): from a third of its units
    (its warm-up) to its last, its memory does not keep growing: it grows by at most 16 KiB and a quarter
    KiB a unit in the first or the second half of that span. A leak grows in both; a code path met for
    the first time late in the run (a first unit of other hardware) touches a few pages once, in one."""
    ends = [t for t in (run.end_press_at, run.stop and run.stop[1], run.station.ended_at, run.killed_at) if t]
    # Not what ending the shift takes (the last ports stopping, the summary drawn).
    before = min(ends) - 3 if ends else float("inf")
    out = []
    for p in run.station.procs.values():
        samples = [x for x in p.rss if x[0] < before]
        if not samples or samples[-1][2] < 30:
            continue
        base = next(x for x in samples if x[2] >= max(10, samples[-1][2] // 3))  # past its warm-up
        last = samples[-1]
        grew, units = last[1] - base[1], last[2] - base[2]
        middle = next(x for x in samples if x[2] >= base[2] + units // 2)

        def Grows(a, b):
            return b[1] - a[1] > 16 + (b[2] - a[2]) / 4

        if units > 0 and Grows(base, middle) and Grows(middle, last):
            out.append(f"{'worker' if p.port else 'supervisor'} {p.pid} ({p.port or 'all ports'}): {base[1]} KiB "
                       f"after unit {base[2]}, {last[1]} KiB after "
                       f"unit {last[2]} ({grew / units:.2f} KiB a unit)")
    return out


def ProcessorModest(run, led):
    """Waiting on serial lines takes little: no process spins, even for seconds."""
    out = []
    for p in run.station.procs.values():
        worst = Busiest(p.cpu, 2)
        if worst > 0.5:
            out.append(f"pid {p.pid} ({p.port or 'supervisor'}): {worst:.0%} of a core over two seconds")
    return out


def DiskFullStops(run, led):
    """A record lost to a full disk stops the station: it ends by itself (exit 5) once its units under
    way are done, and does not wait for the end of the shift (no unit is written after the loss:
    start-before-flash)."""
    if run.disk.filled_at is None or run.forced_end or run.killed_at is not None:
        return []
    lost = [s for s, r in led.pairs if r is None and s.identified]
    if not lost or run.end_press_at is None:
        return []
    arrived = [t for times in run.arrivals.values() for t in times]
    last = max(arrived + [run.disk.filled_at])  # the last record that could be written
    if run.end_press_at - last > 20:
        return [f"{len(lost)} record(s) lost to the full disk, and the station ran on {run.end_press_at - last:.0f} s "
                f"after its last record, until the end of the shift"]
    return []


def CountExact(run, led):
    """--count N: never more than N units recorded (a re-seated session is none), and exactly N when the
    station ended by itself."""
    if not run.plan.count:
        return []
    ends = len([r for r in run.records.AllEnds() if IsUnit(r)])
    if ends > run.plan.count:
        return [f"{ends} units recorded with --count {run.plan.count}"]
    if run.end_press_at is None and run.stop is None and ends != run.plan.count and run.disk.filled_at is None:
        return [f"the station ended by itself after {ends} units with --count {run.plan.count}"]
    return []


Invariant = collections.namedtuple("Invariant", "name check")

INVARIANTS = [
    Invariant("one-end-per-session", OneEndPerSession),
    Invariant("start-before-flash", StartBeforeFlash),
    Invariant("result-agrees", ResultAgrees),
    Invariant("programmed-within-retries", ProgrammedWithinRetries),
    Invariant("unplug-interrupts", UnplugInterrupts),
    Invariant("unplug-noticed", UnplugNoticed),
    Invariant("exit-code-agrees", ExitCodeAgrees),
    Invariant("stop-respected", StopRespected),
    Invariant("station-ends", StationEnds),
    Invariant("workers-die-with-supervisor", WorkersDieWithSupervisor),
    Invariant("no-process-left", NoProcessLeft),
    Invariant("ports-keep-serving", PortsKeepServing),
    Invariant("records-valid", RecordsValid),
    Invariant("screen-fits", ScreenFits),
    Invariant("one-header", OneHeader),
    Invariant("cursor-restored", CursorRestored),
    Invariant("redraw-rate", RedrawRate),
    Invariant("terminal-bytes", TerminalBytes),
    Invariant("memory-flat", MemoryFlat),
    Invariant("processor-modest", ProcessorModest),
    Invariant("disk-full-stops", DiskFullStops),
    Invariant("count-exact", CountExact),
    Invariant("summary-agrees", SummaryAgrees),
]


def Check(run):
    """[(invariant name, [what broke])] for the invariants that broke."""
    led = Ledger(run)
    broken = []
    for inv in INVARIANTS:
        try:
            found = inv.check(run, led)
        except Exception as e:  # a fault of the check itself is a finding too
            found = [f"the check failed: {type(e).__name__}: {e}"]
        if found:
            broken.append((inv.name, found))
    return broken
