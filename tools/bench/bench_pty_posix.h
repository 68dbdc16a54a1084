// A pseudo-terminal for the benchmarks' own peers (the far end of the line).
#pragma once

#include <string>

// Opens a raw pty master; `slave` receives the slave's path. -1 on failure.
int OpenPeerPty(std::string &slave);
// Reads exactly n bytes from fd within `ms` milliseconds; false otherwise.
bool ReadExactly(int fd, unsigned char *buf, size_t n, int ms);
// Writes all n bytes, waiting while the pty is full; false on an error.
bool WriteAll(int fd, const unsigned char *buf, size_t n);
