#include "station/supervisor_link.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "station/station_port.h"

namespace {

std::mutex mutex;
std::condition_variable answered;
int grants = 0;
bool stopped = false;

void Stop()
{
    StopTakingUnits();
    std::lock_guard<std::mutex> lock(mutex);
    stopped = true;
    answered.notify_all();
}

}  // namespace

void ListenToSupervisor(std::istream &in)
{
    std::thread([&in] {
        for (std::string line; std::getline(in, line);) {
            if (line == "stop") {
                Stop();
            } else if (line == "take") {
                std::lock_guard<std::mutex> lock(mutex);
                ++grants;
                answered.notify_all();
            }
        }
        Stop();  // the supervisor is gone
    }).detach();
}

bool SupervisorLetsTake()
{
    std::unique_lock<std::mutex> lock(mutex);
    answered.wait(lock, [] { return grants > 0 || stopped; });
    if (grants == 0)
        return false;
    --grants;
    return true;
}
