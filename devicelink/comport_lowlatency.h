// Low-latency mode of a serial driver (Linux: ASYNC_LOW_LATENCY through
// TIOCSSERIAL). USB serial adapters hold received bytes for a while before
// they pass them on (an FTDI chip until its latency timer runs out, 16 ms by
// default); in low-latency mode ftdi_sio sets that timer to 1 ms. Any user
// who may open the port may ask for it. Drivers that know no such mode
// (pseudo-terminals, most UARTs) refuse, and the port is then left alone.
#pragma once

// Asks the driver of the open port `fd` for low-latency mode. True when it
// changed the mode; `oldFlags` then holds what to put back.
bool SerialLowLatencyOn(int fd, int &oldFlags);
// Puts back the driver's own mode as SerialLowLatencyOn found it.
void SerialLowLatencyRestore(int fd, int oldFlags);
