"""The station's terminal: a real pseudo-terminal of a given size whose
output is rendered in a virtual terminal (pyte), so that the soak sees the
screen an operator would see, and what was drawn to get there.

Kept while the station runs: every line that would have wrapped (a write
past the last column), every moment the screen held two headers, the time of
each header drawn (the redraw rate) and the bytes written.
"""
import fcntl
import os
import re
import struct
import termios
import threading
import time

import pyte
from pyte import modes
from wcwidth import wcwidth

# The station's header line: "units 4 ok, 2 current, 1 failed  ...", or on
# a narrow terminal only the counts.
HEADER = re.compile(r"^(units )?\d+ ok, \d+ current, \d+ failed")


class CheckedScreen(pyte.Screen):
    """A pyte screen that notes every write past the right margin, and what
    kind of line it was: the live display's, a message printed above it (a
    port's "[PORT] ..." line), or what came once the display had ended (the
    cursor shown again after it had been drawn: the summary)."""

    def __init__(self, columns, lines):
        super().__init__(columns, lines)
        self.wraps = []  # (time, kind, the line as it was being written)
        self.header_draws = []  # times

    def draw(self, data):
        x = start = self.cursor.x
        if x == 0 and HEADER.match(data):
            self.header_draws.append(time.monotonic())
        if modes.DECAWM in self.mode:
            for ch in data:
                if x >= self.columns:
                    row = self.buffer[self.cursor.y]
                    line = "".join(row[i].data for i in range(start)) + data
                    if self.header_draws and not self.cursor.hidden:
                        kind = "after the display"
                    else:
                        kind = "message" if line.startswith("[") else "display"
                    self.wraps.append((time.monotonic(), kind, line[:200]))
                    break
                x += max(wcwidth(ch), 0)
        super().draw(data)


class Terminal:
    def __init__(self, columns, lines, raw_path):
        self.columns = columns
        self.lines = lines
        self.master, self.slave = os.openpty()
        fcntl.ioctl(self.slave, termios.TIOCSWINSZ, struct.pack("HHHH", lines, columns, 0, 0))
        attrs = termios.tcgetattr(self.slave)
        attrs[3] &= ~termios.ECHO  # a pressed Ctrl-C is not echoed as "^C" over the display
        termios.tcsetattr(self.slave, termios.TCSANOW, attrs)
        self.screen = CheckedScreen(columns, lines)
        self.stream = pyte.ByteStream(self.screen)
        self.lock = threading.Lock()
        self.raw_path = raw_path
        self.raw = open(raw_path, "wb")
        self.bytes = 0
        self.chunks = []  # (time, bytes) as they were read
        self.first_byte_at = None
        self.last_byte_at = None
        self.double_headers = []  # (time, screen text)
        self.closed = threading.Event()
        self._thread = threading.Thread(target=self._Read, daemon=True)

    def Start(self):
        self._thread.start()

    def ReleaseSlave(self):
        """Once the station holds the terminal: reads end when every holder is gone."""
        if self.slave is not None:
            os.close(self.slave)
            self.slave = None

    def _Read(self):
        while True:
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                break  # EIO: nobody has the terminal open any more
            if not chunk:
                break
            now = time.monotonic()
            self.raw.write(chunk)
            with self.lock:
                if self.first_byte_at is None:
                    self.first_byte_at = now
                self.last_byte_at = now
                self.bytes += len(chunk)
                self.chunks.append((now, len(chunk)))
                self.stream.feed(chunk)
                headers = [row for row in self.screen.display if HEADER.match(row)]
                if len(headers) > 1 and len(self.double_headers) < 20:
                    self.double_headers.append((now, "\n".join(r.rstrip() for r in self.screen.display)))
        self.raw.close()
        self.closed.set()

    def Press(self, data):
        os.write(self.master, data)

    def Text(self):
        with self.lock:
            return "\n".join(row.rstrip() for row in self.screen.display)

    def PortLine(self, index):
        """The live display's line of the index-th port (from 0), or None."""
        with self.lock:
            rows = self.screen.display
        heads = [i for i, row in enumerate(rows) if HEADER.match(row)]
        if not heads or heads[-1] + 1 + index >= len(rows):
            return None
        return rows[heads[-1] + 1 + index]

    def CursorHidden(self):
        with self.lock:
            return self.screen.cursor.hidden

    def Close(self, timeout=5):
        self.ReleaseSlave()
        self.closed.wait(timeout)
        os.close(self.master)
        self._thread.join(timeout)
