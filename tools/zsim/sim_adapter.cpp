#include "tools/zsim/sim_adapter.h"

#include <algorithm>
#include <cctype>
#include <fstream>

void SimAdapter::SetTimerFile(const std::string &timerFile)
{
    file = timerFile;
}

int SimAdapter::ReadTimer()
{
    if (file.empty())
        return timerMs;
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return timerMs;
    const int ms = std::stoi(text);
    return ms >= 1 && ms <= 255 ? ms : timerMs;
}

SimAdapter::Output SimAdapter::TakeHeld()
{
    Output out{held, heldDroppable};
    held.clear();
    heldDroppable = true;
    return out;
}

SimAdapter::Output SimAdapter::Push(const std::string &bytes, Clock::time_point now, bool droppable)
{
    Output out;
    for (char c : bytes) {
        if (held.empty()) {
            timerMs = ReadTimer();
            deadline = now + std::chrono::milliseconds(timerMs);
        }
        held += c;
        heldDroppable = heldDroppable && droppable;
        if (held.size() == kPacketBytes) {
            Output packet = TakeHeld();
            out.bytes += packet.bytes;
            out.droppable = out.droppable && packet.droppable;
        }
    }
    return out;
}

SimAdapter::Output SimAdapter::Due(Clock::time_point now)
{
    if (held.empty() || now < deadline)
        return Output();
    return TakeHeld();
}

std::optional<SimAdapter::Clock::time_point> SimAdapter::Deadline() const
{
    if (held.empty())
        return std::nullopt;
    return deadline;
}

void SimAdapter::Clear()
{
    held.clear();
    heldDroppable = true;
}
