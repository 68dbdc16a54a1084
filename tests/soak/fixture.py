"""One simulated fixture of the soak: a zsim process that plays a stream of
units on one port, with its control FIFO, and what it saw.

zsim runs with --log --log-time, so every power-up, capture and request is a
line on its standard error with the moment it was written (CLOCK_MONOTONIC,
time.monotonic()'s clock); those lines make the fixture's sessions: a session
is one power-up of a unit that the host captured, with the requests it then
sent. Its standard output gives the fixture's events and, at the end, the
counters of every unit.
"""
import collections
import os
import re
import subprocess
import threading
import time

PROGRAM_CODES = (90, 190)
VERIFY_CODES = (91, 191)
ERASE_CODES = (92,)
BLANK_CHECK_CODES = (93,)
# Requests that change the firmware region, and those that read it (the flash).
WRITE_CODES = PROGRAM_CODES + ERASE_CODES
FLASH_CODES = WRITE_CODES + VERIFY_CODES + BLANK_CHECK_CODES

PHASE_OF_CODE = {}
for _codes, _phase in ((PROGRAM_CODES, "program"), (VERIFY_CODES, "verify"), (ERASE_CODES, "erase"),
                       (BLANK_CHECK_CODES, "blank-check")):
    for _code in _codes:
        PHASE_OF_CODE[_code] = _phase

_UNIT_EVENT = re.compile(r"^zsim: unit (\S+) (plugged in|taken out|re-seated)$")
_LOG_TIME = re.compile(r"^(\d+\.\d+) ")
_REQUEST = re.compile(r"^zsim: request (\d+), \d+ bytes")
_REPORT_UNIT = re.compile(r"^zsim: unit (\S+) ((?:[a-z-]+=\S+ ?)+)$")


class Session:
    """A unit's power-up that the host captured, as the fixture saw it."""

    def __init__(self, port, unit, captured_at):
        self.port = port
        self.unit = unit
        self.captured_at = captured_at
        self.codes = collections.Counter()
        self.first_write_at = None
        self.last_request_at = captured_at
        self.last_phase = "identify"
        self.entered = collections.Counter(identify=1)  # how often each phase was entered
        self.ended_at = None  # the unit lost its power (taken out, re-seated)
        self.pulled = None  # the adapter pulled during it: (time, phase, program and verify requests by then)
        self.void = collections.Counter()  # requests the host sent on after the unit lost its power
        self.events = []  # the soak's events fired on its port while it was under way

    def count(self, codes):
        return sum(self.codes[c] for c in codes)

    @property
    def wrote(self):
        return self.count(WRITE_CODES) > 0

    @property
    def tried_to_write(self):
        """The host sent an erase or program request, whether the unit was there to take it or not."""
        return self.wrote or any(self.void[c] for c in WRITE_CODES)

    @property
    def reached_flash(self):
        return self.count(FLASH_CODES) > 0

    def describe(self, t0):
        parts = [f"{self.unit} captured at {self.captured_at - t0:.2f} s"]
        for name, codes in (("erase", ERASE_CODES), ("program", PROGRAM_CODES), ("verify", VERIFY_CODES)):
            if self.count(codes):
                parts.append(f"{name} x{self.count(codes)}")
        if self.first_write_at is not None:
            parts.append(f"first write at {self.first_write_at - t0:.2f} s")
        return ", ".join(parts)


class Fixture:
    def __init__(self, zsim, port, control, units, options, folder, index):
        self.zsim = zsim
        self.port = port
        self.control_path = control
        self.units = units  # [(name, kind, spec)]
        self.options = options
        self.folder = folder
        self.index = index
        self.proc = None
        self.cond = threading.Condition()
        self.inside = units[0][0] if units else None
        self.sessions = []
        self.session = None  # the session of the unit's current power-up
        self.line_ended = False
        self.adapter_out = False
        self.host_open = False
        self.last_request = (time.monotonic(), None)  # (when, code) of the last request, to a unit or not
        self.report = {}  # unit name -> counters, from the end-of-run lines
        self.fixture_report = {}
        self.last_activity = time.monotonic()
        self.bad_commands = []
        self._threads = []

    # --- process ---------------------------------------------------------
    def Command(self):
        cmd = [self.zsim, "--link", self.port, "--control", self.control_path, "--log", "--log-time"]
        for _, _, spec in self.units:
            cmd += ["--unit", spec]
        return cmd + self.options

    def Start(self, timeout=10):
        out = open(os.path.join(self.folder, f"zsim{self.index}.out"), "w", encoding="utf-8")
        err = open(os.path.join(self.folder, f"zsim{self.index}.log"), "w", encoding="utf-8")
        self.proc = subprocess.Popen(self.Command(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, start_new_session=True)
        for stream, copy, handler in ((self.proc.stdout, out, self._OnEvent), (self.proc.stderr, err, self._OnLog)):
            t = threading.Thread(target=self._Read, args=(stream, copy, handler), daemon=True)
            t.start()
            self._threads.append(t)
        if not self.Wait(lambda: self.started or self.proc.poll() is not None, timeout) or not self.started:
            raise RuntimeError(f"zsim for {self.port} did not start (see {err.name})")

    started = False

    def _Read(self, stream, copy, handler):
        for raw in stream:
            now = time.monotonic()
            line = raw.decode("utf-8", "replace").rstrip("\n")
            copy.write(f"{now:.3f} {line}\n")
            copy.flush()
            with self.cond:
                self.last_activity = now
                handler(line, now)
                self.cond.notify_all()
        copy.close()

    def Stop(self, timeout=15):
        """Ends zsim and waits for its counters (printed as it ends)."""
        if self.proc is None:
            return
        if self.proc.poll() is None:
            self.proc.terminate()
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        for t in self._threads:
            t.join(timeout)

    def Send(self, line):
        """Writes one command line to the control FIFO (zsim holds it open)."""
        fd = os.open(self.control_path, os.O_WRONLY | os.O_NONBLOCK)
        try:
            os.write(fd, (line + "\n").encode())
        finally:
            os.close(fd)

    def Wait(self, predicate, timeout):
        """Waits until predicate() (called under the lock) holds; False at the deadline."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while not predicate():
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.cond.wait(min(left, 0.2))
            return True

    # --- what zsim prints ---------------------------------------------------
    def _OnEvent(self, line, now):
        if line.startswith("zsim: device on "):
            self.started = True
        elif line == "zsim: the line of units has ended":
            self.line_ended = True
        elif line == "zsim: adapter unplugged":
            self.adapter_out = True
        elif line == "zsim: adapter plugged back":
            self.adapter_out = False
        elif line.startswith("zsim: fixture "):
            self.fixture_report = dict(w.split("=", 1) for w in line.split()[2:] if "=" in w)
        elif line.startswith("zsim: bad command") or line.startswith("zsim: no unit") or \
                line.startswith("zsim: adapter not"):
            self.bad_commands.append(line)
        else:
            m = _REPORT_UNIT.match(line)
            if m:
                self.report[m.group(1)] = dict(w.split("=", 1) for w in m.group(2).split())

    def _OnLog(self, line, now):
        m = _LOG_TIME.match(line)
        if m:  # when zsim wrote it (the harness may read it late), on the same clock
            now, line = float(m.group(1)), line[m.end():]
        m = _REQUEST.match(line)
        if m:
            code = int(m.group(1))
            self.last_request = (now, code)
            s = self.session
            if s is None and self.sessions:
                self.sessions[-1].void[code] += 1
            if s is not None:
                s.codes[code] += 1
                s.last_request_at = now
                phase = PHASE_OF_CODE.get(code, "identify")
                if phase != s.last_phase:
                    s.entered[phase] += 1
                s.last_phase = phase
                if code in WRITE_CODES and s.first_write_at is None:
                    s.first_write_at = now
            return
        m = _UNIT_EVENT.match(line)
        if m:
            self._PowerOff(now)
            self.inside = None if m.group(2) == "taken out" else m.group(1)
        elif line == "zsim: host opened the line":
            self.host_open = True
        elif line == "zsim: host closed the line":
            self.host_open = False
        elif line.startswith("zsim: power up"):
            self._PowerOff(now)
        elif line == "zsim: adapter pulled":
            self.host_open = False
            s = self.session
            if s is not None and s.pulled is None:
                # A verify that has not gone on for a while is over (it failed, or the host is done).
                phase = "done" if s.last_phase == "verify" and now - s.last_request_at > 0.3 else s.last_phase
                s.pulled = (now, phase, s.count(PROGRAM_CODES), s.count(VERIFY_CODES))
        elif line.startswith("zsim: capture request: captured") and self.session is None and self.inside:
            self.session = Session(self.port, self.inside, now)
            self.sessions.append(self.session)

    def _PowerOff(self, now):
        if self.session is not None:
            self.session.ended_at = now
        self.session = None

    # --- the state the events wait for (call under the lock) ------------------
    def Phase(self):
        """(phase, session): empty (no unit), closed (the host has not the
        port open), waiting (not captured yet),
        identify, blank-check, erase, program, verify, or done (verified, and
        the host quiet for half a second)."""
        if self.inside is None:
            return "empty", None
        s = self.session
        if s is None:
            return ("waiting" if self.host_open else "closed"), None
        if s.last_phase == "verify" and time.monotonic() - s.last_request_at > 0.5:
            return "done", s
        return s.last_phase, s

    def Snapshot(self):
        with self.cond:
            return list(self.sessions)
