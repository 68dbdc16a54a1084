"""What happens to a station during a shift: the soak's events, one line
each in EVENTS. An event is drawn with its weight, for one port, at one of
its phases (fixture.Phase: waiting, identify, blank-check, erase, program,
verify, done, empty), and fired once that port's unit is in that phase.

    fire(run, port, params)  does it (`port` a Fixture; `params` drawn by draw)
    draw(rng)                the event's own parameters (a dict), from the seed
    stop                     it ends the shift: at most one a run, fired last
    unavailable(run)         why it cannot be made here (None: it can)
"""
import collections
import errno
import os
import signal
import subprocess
import time

ALL_PHASES = ("waiting", "identify", "blank-check", "erase", "program", "verify", "done", "empty")
UNIT_PHASES = ("waiting", "identify", "blank-check", "erase", "program", "verify", "done")
SESSION_PHASES = ("identify", "blank-check", "erase", "program", "verify", "done")


NOTICE_S = 1.5  # a port says its adapter is gone within this


def Unplug(run, port, p):
    """The adapter out for a while; one out long enough must show on its port's line at once."""
    before = run.terminal.PortLine(port.index - 1) or ""
    port.Send(f"unplug {p['ms']}")
    # A port that has stopped (the station's --count reached) watches no adapter.
    if p["ms"] < 2500 or run.stop is not None or not run.station.Alive() or "stopped" in before:
        return None
    start = time.monotonic()
    while time.monotonic() - start < NOTICE_S + 0.5:
        line = run.terminal.PortLine(port.index - 1) or ""
        if "adapter" in line:
            run.noticed.append((port.index, time.monotonic() - start))
            return None
        time.sleep(0.05)
    if "stopped" in (run.terminal.PortLine(port.index - 1) or ""):
        return None
    run.noticed.append((port.index, None))
    return f"its line did not say \"adapter removed\": {run.terminal.PortLine(port.index - 1)!r}"


def UnplugNameReused(run, port, p):
    """The adapter goes; its name comes back as something that is no serial
    port (/dev/null), then the adapter comes back under it."""
    port.Send("unplug")
    if not port.Wait(lambda: port.adapter_out, 5):
        return "adapter did not go"
    os.symlink("/dev/null", port.port)
    time.sleep(p["ms"] / 1000)  # how long the wrong name stays: part of the drawn event
    os.unlink(port.port)
    port.Send("replug")
    return None


def PullUnit(run, port, p):
    port.Send("out")


def Reseat(run, port, p):
    port.Send("reseat")


def LateReply(run, port, p):
    """The reply to a request a few of its kind from now comes late: by less
    than the host's time-out, or past it (the host sends it again)."""
    port.Send(f"fault late:{p['command']}:{p['skip']}:1:{p['ms']}")


def PressCtrlC(run, port, p):
    run.terminal.Press(b"\x03")


def PressCtrlCTwice(run, port, p):
    run.terminal.Press(b"\x03")
    time.sleep(p["gap_ms"] / 1000)  # the operator's second press: a drawn part of the event
    run.terminal.Press(b"\x03")


def Signal(sig):
    def Send(run, port, p):
        run.station.Signal(sig)
    return Send


def FillDisk(run, port, p):
    run.disk.Fill()


def NoLateReplies(run):
    return None if "late" in run.zsim_can else "this zsim takes no late reply on command (zsim --help: fault late)"


def NoDisk(run):
    return run.disk.unavailable


Event = collections.namedtuple("Event", "name weight phases fire draw stop unavailable")

EVENTS = [
    Event("unplug", 4, ALL_PHASES, Unplug, lambda rng: {"ms": rng.choice([50, 300, 1000, 2500, 6000])},
          False, None),
    Event("unplug-name-reused", 1, ALL_PHASES, UnplugNameReused, lambda rng: {"ms": rng.randint(300, 3000)},
          False, None),
    Event("pull-unit", 3, UNIT_PHASES, PullUnit, lambda rng: {}, False, None),
    Event("reseat", 3, SESSION_PHASES, Reseat, lambda rng: {}, False, None),
    Event("late-reply", 2, SESSION_PHASES, LateReply,
          lambda rng: {"command": rng.choice([3, 4, 93, 92, 190, 191]), "skip": rng.choice([0, 0, 1, 5]),
                       "ms": rng.choice([300, 1500, 4000])},
          False, NoLateReplies),
    Event("ctrl-c", 3, ALL_PHASES, PressCtrlC, lambda rng: {}, True, None),
    Event("ctrl-c-twice", 2, ALL_PHASES, PressCtrlCTwice, lambda rng: {"gap_ms": rng.randint(100, 4000)},
          True, None),
    Event("sigterm", 2, ALL_PHASES, Signal(signal.SIGTERM), lambda rng: {}, True, None),
    Event("sighup", 1, ALL_PHASES, Signal(signal.SIGHUP), lambda rng: {}, True, None),
    Event("kill-supervisor", 2, ALL_PHASES, Signal(signal.SIGKILL), lambda rng: {}, True, None),
    Event("disk-full", 2, ALL_PHASES, FillDisk, lambda rng: {}, False, NoDisk),
]

BY_NAME = {e.name: e for e in EVENTS}


class Disk:
    """The records' disk: a small tmpfs of the run's own, which an event
    fills. Where nothing can be mounted (no privilege), the event is left
    out of the run, with the reason."""

    SIZE_KIB = 512

    def __init__(self, folder):
        self.folder = folder
        self.mounted = False
        self.filled_at = None
        self.unavailable = None
        os.makedirs(folder, exist_ok=True)

    def Mount(self):
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={self.SIZE_KIB}k", "soak-records", self.folder],
                               capture_output=True, text=True)
        if mount.returncode != 0:
            self.unavailable = "cannot mount a tmpfs for the records (mount needs CAP_SYS_ADMIN)"
            return False
        self.mounted = True
        return True

    def Fill(self):
        """Takes every free block: the records' next page can no longer be had."""
        chunk = b"\0" * 4096
        with open(os.path.join(self.folder, "filler"), "wb", buffering=0) as f:
            while True:
                try:
                    f.write(chunk)
                except OSError as e:
                    if e.errno != errno.ENOSPC:
                        raise
                    break
        if self.filled_at is None:
            self.filled_at = time.monotonic()

    def Unmount(self):
        if self.mounted:
            subprocess.run(["umount", self.folder], capture_output=True)
            self.mounted = False
