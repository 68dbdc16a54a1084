"""One run of the soak: the fixtures of a plan, the station on its terminal,
the plan's events fired at their phases, the end of the shift, and what all
of it left behind (for the invariants)."""
import os
import shutil
import subprocess
import tempfile
import threading
import time

from events import BY_NAME, Disk
from fixture import ERASE_CODES, PROGRAM_CODES, VERIFY_CODES, Fixture
from records import Records
from station import Station
from terminal import Terminal

EVENT_WAIT_S = 40  # the longest an event waits for its phase
IDLE_S = 15  # a shift with no activity this long is over (above any pause the station or a fixture makes)
ERASE_WAIT_S = 95  # an erase request unanswered takes three time-outs of 30 s
ONE_PRESS_S = 20  # after one press a unit under way ends (longer: it waits out its time-outs)
TWO_PRESSES_S = 15  # two presses in a row end the station within this


class Run:
    def __init__(self, plan, folder, bins, zsim_can=()):
        self.plan = plan
        self.folder = folder
        self.bins = bins  # zflash, zsim, image, validate
        self.zsim_can = set(zsim_can)  # what this zsim can do of what the soak would use
        self.history = []
        self.notes = []
        self.fixtures = []
        self.terminal = None
        self.station = None
        self.disk = Disk(os.path.join(folder, "records"))
        self.log = os.path.join(self.disk.folder, "records.jsonl")
        # The ports (and control FIFOs) in a short folder of their own: the
        # plan's names make them short or long, and every zflash of the run
        # has that folder in its command line.
        self.ports_dir = tempfile.mkdtemp(prefix="zsoak-")
        self.stop = None  # (name, time) of the event that stopped the shift
        self.killed_at = None
        self.end_press_at = None  # the operator's Ctrl-C at the end of the shift
        self.stuck = []  # ports found not serving when the shift looked over
        self.leftovers = []
        self.records = None
        self.validate = None  # (exit status, output)
        self.t0 = time.monotonic()
        self.timed_out = False
        self._last_ends, self._last_change = {}, 0.0
        self.arrivals = {}  # port -> when each of its end records was first seen
        self._arrivals_lock = threading.Lock()  # the station's watch reads the records too
        self.forced_end = None  # what the harness had to do to end the station
        self.idle_after_stop = None  # seconds the station ran on after a stop with no unit under way
        self.noticed = []  # (port, seconds until its line said its adapter was gone, or None)

    def UnitReport(self, name):
        """zsim's counters of a unit, as printed at its end."""
        for fx in self.fixtures:
            if name in fx.report:
                return fx.report[name]
        return {}

    def Note(self, text):
        self.history.append((time.monotonic() - self.t0, text))

    # --- the run ------------------------------------------------------------
    def Execute(self):
        plan = self.plan
        events = list(plan.events)
        if any(e.name == "disk-full" for e in events) and not self.disk.Mount():
            self.notes.append(f"disk-full left out: {self.disk.unavailable}")
            events = [e for e in events if e.name != "disk-full"]
        for e in [e for e in events if BY_NAME[e.name].unavailable]:
            why = BY_NAME[e.name].unavailable(self)
            if why:
                self.notes.append(f"{e.name} left out: {why}")
                events.remove(e)
        try:
            self._StartFixtures()
            for e in [e for e in events if e.phase == "start"]:
                self._Fire(e, None)
            self._StartStation()
            for e in [e for e in events if e.phase != "start"]:
                if not self.station.Alive():
                    self.Note(f"{e.name}: not fired, the station had ended")
                    continue
                self._WaitAndFire(e)
            self._EndShift()
        finally:
            self._TearDown()

    def _StartFixtures(self):
        for p in self.plan.ports:
            fx = Fixture(self.bins["zsim"], os.path.join(self.ports_dir, p.name),
                         os.path.join(self.ports_dir, f"control{p.index + 1}"),
                         [(u.name, u.kind, u.spec) for u in p.units],
                         ["--current-image", self.bins["image"], "--auto-swap", str(p.quiet_ms),
                          "--plug-pause-ms", p.pause, "--seed", str(self.plan.seed), "--wire-time",
                          "--erase-ms", str(p.erase_ms)] +
                         (["--repeats", p.repeats] if "repeats" in self.zsim_can else []),
                         self.folder, p.index + 1)
            fx.Start()
            self.fixtures.append(fx)

    def _StartStation(self):
        plan = self.plan
        self.terminal = Terminal(plan.width, plan.height, os.path.join(self.folder, "terminal.raw"))
        self.terminal.Start()
        args = ["--log", self.log, "station", "--image", self.bins["image"], "--retries", str(plan.retries)]
        if plan.count:
            args += ["--count", str(plan.count)]
        for fx in self.fixtures:
            args += ["--port", fx.port]
        env = {k: v for k, v in os.environ.items() if k not in ("COLUMNS", "LINES")}
        env.update(TERM="xterm", LC_ALL="C.UTF-8")
        self.station = Station(self.bins["zflash"], args, self.terminal, self.ports_dir, self.log, env)
        self.station.progress = self._Progress
        self.station.Start()
        self.Note(f"station started (pid {self.station.pid}): zflash {' '.join(args)}")

    def _Progress(self):
        """End records by port so far (and when each was first seen)."""
        with self._arrivals_lock:
            r = Records(self.log)
            now = time.monotonic()
            for port, ends in r.ends.items():
                seen = self.arrivals.setdefault(port, [])
                seen += [now] * (len(ends) - len(seen))
            return {port: len(ends) for port, ends in r.ends.items()}

    def _WaitAndFire(self, e):
        """Fires e once its port's unit enters its phase (a new entry: a phase
        its session had passed already does not count), in the plan's session
        or a later one; at once when the station has ended, the port's units
        are done or its line is idle."""
        fx = self.fixtures[e.port]
        codes = PROGRAM_CODES if e.phase == "program" else VERIFY_CODES
        block = e.params.get("block", 0)
        with fx.cond:
            first = fx.session
            first_entered = first.entered[e.phase] if first else 0
            first_count = first.count(codes) if first else 0
        reached = []

        def Due():
            if not self.station.Alive() or time.monotonic() - fx.last_activity > IDLE_S or \
                    (fx.line_ended and fx.inside is None):
                return True
            phase, s = fx.Phase()
            if e.phase in ("waiting", "empty", "closed", "done"):
                ok = phase == e.phase and len(fx.sessions) >= e.session - (e.phase != "done")
            elif s is None or len(fx.sessions) < e.session:
                ok = False
            elif e.phase in ("program", "verify"):
                ok = s.count(codes) >= block and (s is not first or first_count < block)
            else:
                ok = s.entered[e.phase] > (first_entered if s is first else 0)
            if ok:
                reached.append(True)
            return ok

        fx.Wait(Due, EVENT_WAIT_S)
        self._CheckServing(fx)
        if not self.station.Alive():
            self.Note(f"{e.name}: not fired, the station had ended")
            return
        self._Fire(e, fx, "" if reached else " (its phase did not come)")

    def _CheckServing(self, fx):
        """A port whose unit waits, or whose session stands still, with nothing
        happening on its line for IDLE_S while the station runs, serves no more."""
        with fx.cond:
            phase, s = fx.Phase()
            idle = time.monotonic() - fx.last_activity
            asked, code = fx.last_request
        if code in ERASE_CODES and time.monotonic() - asked < ERASE_WAIT_S:
            return  # the host waits out an erase's time-outs (its unit gone or powered up again)
        if self.disk.filled_at is not None:
            return  # a station whose records cannot be written takes no more units
        counted_out = self.plan.count and sum(self._Progress().values()) >= self.plan.count
        if self.station.Alive() and idle > IDLE_S and phase not in ("empty", "done") and self.stop is None \
                and not (counted_out and phase == "waiting"):
            what = f"{s.unit} in {phase}" if s else f"{fx.inside} not captured"
            text = f"port {fx.index} ({fx.port}): {what}, nothing on its line for {idle:.0f} s"
            if not any(x.startswith(f"port {fx.index} ") for x in self.stuck):
                self.stuck.append(text)
                self.Note("stuck: " + text)

    def _Fire(self, e, fx, remark=""):
        state = ""
        if fx is not None:
            with fx.cond:
                phase, s = fx.Phase()
                state = f" on port {fx.index} ({phase}{', ' + s.unit if s else ''})"
                if s is not None:
                    s.events.append(e.name)
        self.Note(f"fire {e}{state}{remark}")
        spec = BY_NAME[e.name]
        now = time.monotonic()
        if spec.stop and self.stop is None:
            self.stop = (e.name, now)
        if e.name == "kill-supervisor":
            self.killed_at = now
        why = spec.fire(self, fx, e.params)
        if why:
            self.Note(f"{e.name}: {why}")

    def _ShiftOver(self):
        """The station ended, or every unit is out and recorded, or nothing
        (a zsim line, a record) has happened for IDLE_S."""
        if not self.station.Alive():
            return True
        now = time.monotonic()
        ends = self._Progress()
        if ends != self._last_ends:
            self._last_ends, self._last_change = ends, now
        if now - max([self._last_change] + [fx.last_activity for fx in self.fixtures]) > IDLE_S:
            return True
        if not all(fx.line_ended and fx.inside is None for fx in self.fixtures):
            return False
        return all(ends.get(fx.port, 0) >= len(fx.sessions) for fx in self.fixtures)

    def _WaitFor(self, predicate, timeout):
        deadline = time.monotonic() + timeout
        while not predicate():
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.1)
        return True

    def _EndShift(self):
        """Waits for the end of the shift, and for the station's end: after a
        stop, or the operator's Ctrl-C once every unit is done, it ends by
        itself, or (a unit under way still waiting out its time-outs) on two
        presses in a row; a station that does not end then is killed."""
        st = self.station
        cap = 1800 if self.plan.long else 240
        if self.killed_at is not None:
            st.Wait(10)
        elif self.stop is None:
            if not self._WaitFor(self._ShiftOver, cap - (time.monotonic() - self.t0)):
                self.timed_out = True
            for fx in self.fixtures:
                self._CheckServing(fx)
            if st.Alive():
                self.end_press_at = time.monotonic()
                self.Note("the operator presses Ctrl-C: end of the shift")
                self.terminal.Press(b"\x03")
        if not st.Wait(ONE_PRESS_S):
            busy = self._Busy()
            if not busy:
                self.idle_after_stop = ONE_PRESS_S
            self.Note(f"still running {ONE_PRESS_S} s after the stop: " + ("; ".join(busy) or "no port in a session") +
                      "; the operator presses Ctrl-C twice")
            self.terminal.Press(b"\x03")
            time.sleep(0.3)  # two presses, as a hand makes them
            self.terminal.Press(b"\x03")
            if not st.Wait(TWO_PRESSES_S):
                self.forced_end = "SIGKILL"
                self.killed_at = time.monotonic()
                self.Note("the station was killed by the harness")
                st.Signal(9)
                st.Wait(10)
        self.Note(f"station ended, exit code {st.exit_code}")
        self.leftovers = st.WaitAllGone(3)
        for p in self.leftovers:
            self.Note(f"left running: pid {p.pid} {' '.join(p.cmdline)}")
        st.KillLeftovers()

    def _Busy(self):
        """The ports whose host is in a session: talking to its unit, or
        waiting out an erase's time-outs (its unit gone or powered up again)."""
        out = []
        now = time.monotonic()
        for fx in self.fixtures:
            with fx.cond:
                phase, s = fx.Phase()
                asked, code = fx.last_request
            if s is not None and phase != "done":
                out.append(f"port {fx.index} in {phase} ({s.unit})")
            elif code in ERASE_CODES and now - asked < ERASE_WAIT_S:
                out.append(f"port {fx.index} waiting out an erase")
        return out

    def _TearDown(self):
        if self.station is not None:
            self.station.StopWatch()
            self.station.KillLeftovers()
            if self.station.Alive():
                self.station.Signal(9)
                self.station.Wait(10)
        if self.terminal is not None:
            self.terminal.Close()
            with open(os.path.join(self.folder, "screen.txt"), "w", encoding="utf-8") as f:
                f.write(self.terminal.Text() + "\n")
        for fx in self.fixtures:
            fx.Stop()
        if self.station is not None:
            self._WriteProcesses(os.path.join(self.folder, "processes.txt"))
        self.records = Records(self.log)
        if os.path.exists(self.log):
            shutil.copy(self.log, os.path.join(self.folder, "records.jsonl"))
            out = subprocess.run([self.bins["validate"], self.log], capture_output=True, text=True)
            self.validate = (out.returncode, out.stdout + out.stderr)
        self.disk.Unmount()
        shutil.rmtree(self.ports_dir, ignore_errors=True)

    def _WriteProcesses(self, path):
        """Every zflash process of the run: its life, processor time and memory by units served."""
        with open(path, "w", encoding="utf-8") as f:
            for p in self.station.procs.values():
                gone = f"{p.gone_at - self.t0:.1f}" if p.gone_at else "-"
                f.write(f"pid {p.pid} {p.port or 'supervisor'}: seen {p.first_seen - self.t0:.1f}-{gone} s, "
                        f"{p.cpu_seconds:.2f} s of processor\n  RSS KiB by units: " +
                        " ".join(f"{units}:{kib}" for _, kib, units in p.rss) + "\n")
