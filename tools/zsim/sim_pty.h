// The device's end of the line: a Linux pseudo-terminal master. The host
// opens the slave as its serial port.
//
// Measured on Linux: the master reports POLLHUP (and read() fails with EIO)
// while no one has the slave open, but only once the slave has been opened
// and closed at least once; so the device must not keep a slave descriptor
// of its own, and opens the slave briefly at creation. The slave's termios
// (readable through the master) is kept across closes, and bytes written to
// the master while the slave is closed are delivered to its next opener.
#pragma once

#include <string>

struct SimPty {
    int master = -1;
    std::string slavePath;
    int watch = -1;      // the slave's opens and closes, in order (-1: not watched)
    int opens = 0;       // descriptors of the slave open, as far as the events tell
    int ownEvents = 0;   // events of the device's own open and close still to come
    bool hostIn = false; // the host has the slave open, as far as the events tell
};

// Creates the pty (master non-blocking) with the slave raw at 115200 and
// closed. False when the system refuses.
bool SimOpenPty(SimPty &pty);
void SimClosePty(SimPty &pty);
// True while the host has the slave open.
bool SimHostOpen(int master);
// True when the host has closed its last descriptor of the slave since the
// last call, even if it has opened it again since. `watch` becomes readable
// when there is news.
bool SimHostLeft(SimPty &pty);
// Back to the line's power-up state after the host closed it: bytes still
// queued for the host are discarded, the slave is raw at 115200 again.
void SimResetLine(SimPty &pty);
// A symlink at `path` to `target`, replacing an earlier symlink (never
// anything else). False when that is refused.
bool SimMakeLink(const std::string &path, const std::string &target);
// The host's line rate: the slave's output speed in bit/s, 0 when unknown.
unsigned SimHostBaud(int master);
