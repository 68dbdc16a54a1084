// A child process: the one way the project starts another program (a
// supervisor's workers, the benchmark's simulators and zflash runs, the
// tests' zflash runs). One file per platform implements it (child_posix.cpp,
// child_win32.cpp); Windows supports what the supervisor needs: this
// executable, standard output to a pipe, a process group of its own.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct ChildOptions {
    std::string program;  // the executable; empty: this one
    enum Stream { Inherit, Pipe, Null };
    Stream out = Pipe;     // standard output
    Stream err = Inherit;  // standard error
    std::string outFile;   // POSIX: standard output to this file (opened for writing) instead
    int errFd = -1;        // POSIX: standard error to this descriptor (a terminal) instead
    bool nullInput = true;        // standard input from the null device
    bool ownProcessGroup = true;  // the terminal's Ctrl-C reaches the parent only, which forwards it
};

class Child {
public:
    Child();
    ~Child();  // waits for the process if it was not waited for
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Runs the program with `args` (not counting its name).
    bool Start(const std::vector<std::string> &args, std::string &error, const ChildOptions &options = {});
    // Blocks until the child wrote to its standard output pipe; 0 at its end.
    long Read(char *buffer, size_t size);
    // POSIX: the parent's ends of the pipes (-1: none), for a caller that polls them; Close stops reading one.
    int OutputFd() const;
    int ErrorFd() const;
    void CloseOutput();
    void CloseError();
    // Forwards a Ctrl-C, or (terminate) a SIGTERM where the platform has one.
    void Interrupt(bool terminate);
    // POSIX: sends the signal; Windows: ends the process at once for SIGKILL, else Interrupt.
    void Signal(int signal);
    long Pid() const;
    // Waits for the end: the exit code, or -1 when it did not exit by itself.
    int Wait();
    // True when it has ended (then Wait returns at once).
    bool Ended();
    // After the end: the signal that ended it (POSIX), else 0.
    int EndSignal() const;
    // After the end (POSIX): the processor time it and the children it
    // waited for took, and its largest resident memory; 0 where not known.
    double CpuSeconds() const;
    long MaxRssKiB() const;

private:
    struct Handle;
    std::unique_ptr<Handle> handle;
};
