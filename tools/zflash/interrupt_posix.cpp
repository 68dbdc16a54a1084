#include "tools/zflash/interrupt.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<int> presses{0};

void OnInterrupt(int) { presses.fetch_add(1); }

}  // namespace

void InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

int TakeInterrupts() { return presses.exchange(0); }
