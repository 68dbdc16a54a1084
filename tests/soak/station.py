"""The station under test: `zflash station` on the soak's terminal (the
supervisor the session leader of that terminal, so that Ctrl-C reaches it as
from a keyboard), and a watch on every zflash process of the run: the
supervisor and its workers, found by the run's folder in their command line,
with their memory and processor time, also once their supervisor is gone."""
import os
import signal
import subprocess
import threading
import time

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


class Proc:
    """One zflash process as the watch saw it."""

    def __init__(self, pid, cmdline, seen_at):
        self.pid = pid
        self.cmdline = cmdline
        self.first_seen = seen_at
        self.last_seen = seen_at
        self.gone_at = None
        self.rss = []  # (time, KiB, end records by then: its port's, or all for the supervisor)
        self.cpu_seconds = 0.0
        self.cpu = []  # (time, processor seconds so far), at each change
        self.port = None
        if "--port" in cmdline:
            self.port = cmdline[cmdline.index("--port") + 1]


def ReadProc(pid):
    """(cmdline, state, ppid, cpu seconds, rss KiB) or None when it is gone."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            cmdline = [a.decode("utf-8", "replace") for a in f.read().split(b"\0") if a]
        with open(f"/proc/{pid}/stat") as f:
            stat = f.read()
        rss = 0
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    rss = int(line.split()[1])
    except (FileNotFoundError, ProcessLookupError, PermissionError):
        return None
    fields = stat[stat.rindex(")") + 2:].split()
    state, ppid = fields[0], int(fields[1])
    cpu = (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
    return cmdline, state, ppid, cpu, rss


class Station:
    def __init__(self, zflash, args, terminal, marker, log_path, env):
        self.zflash = os.path.realpath(zflash)
        self.args = args
        self.terminal = terminal
        self.marker = marker  # the run's folder: in every command line of the run
        self.log_path = log_path
        self.env = env
        self.proc = None
        self.exit_code = None
        self.ended_at = None
        self.procs = {}  # pid -> Proc
        self.lock = threading.Lock()
        self._stop_watch = threading.Event()
        self._watch = threading.Thread(target=self._Watch, daemon=True)
        self.progress = lambda: {}  # set by the run: port -> end records so far

    def Start(self):
        # setsid --ctty: a session of its own with the terminal as its
        # controlling terminal (the same process: setsid execs zflash).
        self.proc = subprocess.Popen(["setsid", "--ctty", self.zflash] + self.args, stdin=self.terminal.slave,
                                     stdout=self.terminal.slave, stderr=self.terminal.slave, env=self.env,
                                     close_fds=True)
        self.terminal.ReleaseSlave()
        self._watch.start()

    @property
    def pid(self):
        return self.proc.pid

    def Signal(self, sig):
        try:
            os.kill(self.proc.pid, sig)
        except ProcessLookupError:
            pass

    def Wait(self, timeout):
        """True once the supervisor has ended (its exit code kept)."""
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return False
        if self.exit_code is None:
            self.exit_code = self.proc.returncode
            self.ended_at = time.monotonic()
        return True

    def Alive(self):
        return self.proc.poll() is None

    # --- the watch --------------------------------------------------------
    def _Watch(self):
        while not self._stop_watch.is_set():
            self.Sample()
            self._stop_watch.wait(0.2)

    def Sample(self):
        now = time.monotonic()
        seen = set()
        progress = self.progress()
        for name in os.listdir("/proc"):
            if not name.isdigit():
                continue
            pid = int(name)
            info = ReadProc(pid)
            if info is None:
                continue
            cmdline, state, ppid, cpu, rss = info
            if not cmdline or os.path.basename(cmdline[0]) != "zflash" or \
                    not any(self.marker in a for a in cmdline):
                continue
            if state in ("Z", "X"):
                continue  # dead, only not yet reaped
            seen.add(pid)
            with self.lock:
                p = self.procs.get(pid)
                if p is None:
                    p = self.procs[pid] = Proc(pid, cmdline, now)
                    if pid == self.proc.pid:
                        p.port = None  # the supervisor: all ports are its
                p.last_seen = now
                p.cpu_seconds = cpu
                if not p.cpu or p.cpu[-1][1] != cpu:
                    p.cpu.append((now, cpu))
                ends = progress.get(p.port, 0) if p.port else sum(progress.values())
                if not p.rss or p.rss[-1][2] != ends:
                    p.rss.append((now, rss, ends))
        with self.lock:
            for pid, p in self.procs.items():
                if pid not in seen and p.gone_at is None:
                    p.gone_at = now

    def Living(self):
        with self.lock:
            return [p for p in self.procs.values() if p.gone_at is None]

    def WaitAllGone(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            self.Sample()
            left = self.Living()
            if not left or time.monotonic() >= deadline:
                return left
            time.sleep(0.1)

    def StopWatch(self):
        self._stop_watch.set()
        if self._watch.is_alive():
            self._watch.join(5)

    def KillLeftovers(self):
        """The harness's own clean-up: each process of this run still alive, by its id."""
        for p in self.Living():
            try:
                os.kill(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.WaitAllGone(5)
