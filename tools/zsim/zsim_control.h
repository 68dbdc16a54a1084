// zsim's control FIFO: commands from a test script while the device runs.
#pragma once

#include <signal.h>

#include <string>

#include "tools/zsim/simdevice.h"

class ControlFifo {
public:
    ControlFifo() = default;
    ~ControlFifo();  // closes the FIFO; removes it when it was made here
    ControlFifo(const ControlFifo &) = delete;
    ControlFifo &operator=(const ControlFifo &) = delete;

    // Opens the FIFO at `path`, made here when missing. False when there is
    // something else at the path or the system refuses.
    bool Open(const std::string &path);
    // Carries out the command lines written to the FIFO until a signal of
    // `stop` (blocked by the caller) arrives or "quit" is read.
    void Serve(SimDevice &device, const sigset_t &stop);

private:
    std::string path;
    int fd = -1;
    bool made = false;
};
