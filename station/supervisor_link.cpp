#include "station/supervisor_link.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "station/station_port.h"

namespace {

// What the supervisor has said so far. The listening thread is detached and
// may still be inside a read when the worker exits, so this state is never
// destroyed: it lives until the process ends.
struct Link {
    std::mutex mutex;
    std::condition_variable answered;
    int grants = 0;
    bool stopped = false;
    bool ended = false;  // the supervisor's end of the pipe closed
    std::vector<std::string> startAnswers;  // "" for started, else the reason
};

Link &TheLink()
{
    static Link *const link = new Link;  // NOLINT(cppcoreguidelines-owning-memory): kept to the end on purpose
    return *link;
}

void Stop()
{
    StopTakingUnits();
    Link &link = TheLink();
    std::lock_guard<std::mutex> lock(link.mutex);
    link.stopped = true;
    link.answered.notify_all();
}

}  // namespace

void ListenToSupervisor(std::istream &in)
{
    TheLink();  // made before the thread starts, not raced for
    std::thread([&in] {
        Link &link = TheLink();
        const std::string unrecorded = "unrecorded ";
        for (std::string line; std::getline(in, line);) {
            if (line == "stop") {
                Stop();
            } else if (line == "take") {
                std::lock_guard<std::mutex> lock(link.mutex);
                ++link.grants;
                link.answered.notify_all();
            } else if (line == "started" || line.compare(0, unrecorded.size(), unrecorded) == 0) {
                std::lock_guard<std::mutex> lock(link.mutex);
                link.startAnswers.push_back(line == "started" ? std::string() : line.substr(unrecorded.size()));
                link.answered.notify_all();
            }
        }
        {
            std::lock_guard<std::mutex> lock(link.mutex);
            link.ended = true;
        }
        Stop();  // the supervisor is gone
    }).detach();
}

bool SupervisorLetsTake()
{
    Link &link = TheLink();
    std::unique_lock<std::mutex> lock(link.mutex);
    link.answered.wait(lock, [&link] { return link.grants > 0 || link.stopped; });
    if (link.grants == 0)
        return false;
    --link.grants;
    return true;
}

bool SupervisorRecordedStart(std::string &error)
{
    Link &link = TheLink();
    std::unique_lock<std::mutex> lock(link.mutex);
    link.answered.wait(lock, [&link] { return !link.startAnswers.empty() || link.ended; });
    if (link.startAnswers.empty()) {
        error = "the supervisor is gone";
        return false;
    }
    error = link.startAnswers.front();
    link.startAnswers.erase(link.startAnswers.begin());
    return error.empty();
}
