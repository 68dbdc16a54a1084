// A worker process of a gang: zflash itself, started with other arguments,
// its standard output a pipe that the supervisor reads. One file per
// platform implements it (child_posix.cpp, child_win32.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class Child {
public:
    Child();
    ~Child();  // waits for the process if it was not waited for
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Runs this executable with `args` in a process group of its own (the
    // terminal's Ctrl-C reaches the supervisor only, which forwards it).
    bool Start(const std::vector<std::string> &args, std::string &error);
    // Blocks until the child wrote something; 0 at the end of its output.
    long Read(char *buffer, size_t size);
    // Forwards a Ctrl-C, or (terminate) a SIGTERM where the platform has one.
    void Interrupt(bool terminate);
    // Waits for the end: the exit code, or -1 when it did not exit by itself.
    int Wait();
    // After Wait: the signal that ended it (POSIX), else 0.
    int EndSignal() const;

private:
    struct Handle;
    std::unique_ptr<Handle> handle;
};
