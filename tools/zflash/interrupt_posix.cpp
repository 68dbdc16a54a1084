#include "tools/zflash/interrupt.h"

#include <atomic>
#include <csignal>
#include <initializer_list>

namespace {

std::atomic<int> presses{0};
std::atomic<bool> terminated{false};

void OnInterrupt(int sig)
{
    if (sig != SIGINT)
        terminated = true;
    presses.fetch_add(1);
}

}  // namespace

void InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A dropped ssh session and a polite kill are treated as Ctrl-C.
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
    // A reader that went away (| head) costs the output, not the device job:
    // writes then fail instead of ending the process.
    signal(SIGPIPE, SIG_IGN);
    // A record file that reaches the file-size limit fails its write (and
    // is said so), rather than ending the process.
    signal(SIGXFSZ, SIG_IGN);
}

int TakeInterrupts() { return presses.exchange(0); }

bool Terminated() { return terminated; }

bool EndingNow() { return false; }

void SettledForExit() {}
