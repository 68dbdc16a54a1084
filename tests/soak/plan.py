"""A run of the soak drawn from its seed: the fixtures and their units, the
terminal's size, the station's options and the events. The same seed draws
the same plan (random.Random with a string seed is stable across Pythons)."""
import random

from events import EVENTS

IMAGE_VERSION = "1.10.3"
IMAGE_BLOCKS = 48  # vkt3k_fw_v1_10_3.bin of the demo tree: 48 blocks of 1 KiB
OLD_VERSION = "1.0.0"

# Units a fixture holds: kind, weight, the zsim --unit words (with the block
# drawn for weak and mismatch), the hardware and firmware the station finds.
UNIT_KINDS = [
    ("old", 40, lambda rng: "fw=old", "VKT3K", OLD_VERSION),
    ("current", 15, lambda rng: "fw=current", "VKT3K", IMAGE_VERSION),
    ("blank", 10, lambda rng: "fw=blank", "VKT3K", ""),
    ("other-hw", 8, lambda rng: "hw=VKTQ1,fw=blank", "VKTQ1", ""),
    ("weak", 10, lambda rng: f"weak={rng.randrange(IMAGE_BLOCKS)}", "VKT3K", OLD_VERSION),
    ("mismatch", 7, lambda rng: f"mismatch={rng.randrange(IMAGE_BLOCKS)}", "VKT3K", OLD_VERSION),
]


class Unit:
    def __init__(self, name, kind, words, hw, version):
        self.name, self.kind, self.hw, self.version = name, kind, hw, version
        self.spec = f"name={name},{words}"


class PortPlan:
    def __init__(self, index, name, units, erase_ms, quiet_ms, pause, repeats):
        self.index, self.name, self.units = index, name, units
        self.erase_ms, self.quiet_ms, self.pause = erase_ms, quiet_ms, pause
        self.repeats = repeats  # what its device does with a request sent again (zsim --repeats)


class EventPlan:
    def __init__(self, name, port, session, phase, params):
        self.name, self.port, self.session, self.phase, self.params = name, port, session, phase, params

    def __str__(self):
        extra = "".join(f" {k}={v}" for k, v in self.params.items())
        at = "before the station starts" if self.phase == "start" else \
            f"port {self.port + 1}, session {self.session} or later, phase {self.phase}"
        return f"{self.name}{extra} at {at}"


def Weighted(rng, items, weight):
    return rng.choices(items, weights=[weight(i) for i in items])[0]


class Plan:
    def __init__(self, seed, long_run=False, only=()):
        rng = random.Random(f"zflash-soak-{seed}")
        self.seed = seed
        self.long = long_run
        self.width = rng.randint(40, 120)
        ports = rng.randint(3, 4)
        self.height = rng.randint(ports + 8, 40)
        self.retries = rng.choice([0, 1, 1, 1, 2])
        self.ports = []
        per_port = (60, 90) if long_run else (2, 6)
        for i in range(ports):
            name = rng.choice([f"tty{i + 1}", f"usb-FTDI_FT232R_USB_UART_A10KX{rng.randint(100, 999)}-if00-port0",
                               f"fixture-{chr(ord('a') + i)}"])
            units = []
            for j in range(rng.randint(*per_port)):
                kind, _, words, hw, version = Weighted(rng, UNIT_KINDS, lambda k: k[1])
                units.append(Unit(f"p{i + 1}u{j + 1}-{kind}", kind, words(rng), hw, version))
            if long_run:  # as many units as can be: the memory check counts them
                timing = dict(erase_ms=20, quiet_ms=900, pause="50-300")
            else:
                timing = dict(erase_ms=rng.choice([20, 300, 1200]), quiet_ms=rng.choice([900, 1500]),
                              pause=rng.choice(["50-300", "200-1500", "1000-3000"]))
            # Drawn apart, so that the plans of the seeds drawn before it are as they were.
            repeats = random.Random(f"zflash-soak-{seed}-repeats-{i}").choice(["once", "twice"])
            self.ports.append(PortPlan(i, name, units, repeats=repeats, **timing))
        total = sum(len(p.units) for p in self.ports)
        self.count = rng.randint(1, total) if rng.random() < 0.15 else 0
        self.events = []
        if not long_run:
            self._DrawEvents(rng, only)

    def _DrawEvents(self, rng, only):
        allowed = [e for e in EVENTS if not only or e.name in only]
        quiet = [e for e in allowed if not e.stop]
        stops = [e for e in allowed if e.stop]
        for _ in range(rng.choice([0, 1, 1, 2, 2, 3, 4]) if quiet else 0):
            e = self._Draw(rng, Weighted(rng, quiet, lambda e: e.weight))
            if not (e.name == "disk-full" and any(x.name == e.name for x in self.events)):
                self.events.append(e)  # a disk fills once
        self.events.sort(key=lambda e: e.session)  # fired one after another
        if stops and rng.random() < (0.6 if quiet else 1):
            self.events.append(self._Draw(rng, Weighted(rng, stops, lambda e: e.weight)))

    def _Draw(self, rng, event):
        port = rng.randrange(len(self.ports))
        phases = list(event.phases) + (["start"] if event.name == "disk-full" else [])
        phase = rng.choice(phases)
        session = rng.randint(1, len(self.ports[port].units))
        params = event.draw(rng)
        if phase in ("program", "verify"):
            params["block"] = rng.randint(1, IMAGE_BLOCKS)
        return EventPlan(event.name, port, session, phase, params)

    def Describe(self):
        lines = [f"seed {self.seed}: {len(self.ports)} ports, terminal {self.width}x{self.height}, "
                 f"--retries {self.retries}" + (f", --count {self.count}" if self.count else "") +
                 (", long run" if self.long else "")]
        for p in self.ports:
            lines.append(f"  port {p.index + 1} {p.name}: erase {p.erase_ms} ms, quiet {p.quiet_ms} ms, "
                         f"pause {p.pause} ms, repeats {p.repeats}; " + " ".join(u.name for u in p.units))
        for e in self.events:
            lines.append(f"  event {e}")
        return "\n".join(lines)

