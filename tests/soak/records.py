"""The station's records file as the soak reads it: start and end entries
(schema 3), or final records without an "event" (schemas 1 and 2, ends), by
port in the order they were written; lines that are not one JSON object are
kept with their number."""
import json


class Records:
    def __init__(self, path):
        self.starts = {}  # port -> [entry]
        self.ends = {}  # port -> [entry]
        self.bad_lines = []  # (number, why)
        self.count = 0
        try:
            with open(path, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            data = b""
        for number, line in enumerate(data.split(b"\n"), 1):
            if not line:
                continue
            self.count += 1
            try:
                entry = json.loads(line.decode("utf-8"))
            except ValueError as e:
                self.bad_lines.append((number, f"not one JSON object: {e}"))
                continue
            if not isinstance(entry, dict):
                self.bad_lines.append((number, "not an object"))
                continue
            kind = entry.get("event", "end")
            by_port = self.starts if kind == "start" else self.ends
            by_port.setdefault(entry.get("port", ""), []).append(entry)

    def Ends(self, port):
        return self.ends.get(port, [])

    def Starts(self, port):
        return self.starts.get(port, [])

    def AllEnds(self):
        return [e for entries in self.ends.values() for e in entries]


def Count(path, port):
    """End entries of one port written so far (read while the station runs)."""
    return len(Records(path).Ends(port))
