#include "station/supervisor_link.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "station/station_port.h"

namespace {

std::mutex mutex;
std::condition_variable answered;
int grants = 0;
bool stopped = false;
bool ended = false;  // the supervisor's end of the pipe closed
std::vector<std::string> startAnswers;  // "" for started, else the reason

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
        const std::string unrecorded = "unrecorded ";
        for (std::string line; std::getline(in, line);) {
            if (line == "stop") {
                Stop();
            } else if (line == "take") {
                std::lock_guard<std::mutex> lock(mutex);
                ++grants;
                answered.notify_all();
            } else if (line == "started" || line.compare(0, unrecorded.size(), unrecorded) == 0) {
                std::lock_guard<std::mutex> lock(mutex);
                startAnswers.push_back(line == "started" ? std::string() : line.substr(unrecorded.size()));
                answered.notify_all();
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            ended = true;
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

bool SupervisorRecordedStart(std::string &error)
{
    std::unique_lock<std::mutex> lock(mutex);
    answered.wait(lock, [] { return !startAnswers.empty() || ended; });
    if (startAnswers.empty()) {
        error = "the supervisor is gone";
        return false;
    }
    error = startAnswers.front();
    startAnswers.erase(startAnswers.begin());
    return error.empty();
}
