// Waiting for state that another thread reaches (the simulated device's, a
// worker's) after the event the test has seen: polls `holds` (every
// `period`) until it is true or `limit` has passed. The limit only bounds a
// failing test; a passing one waits no longer than the state takes.
#pragma once

#include <chrono>
#include <thread>

template <class Condition>
bool Eventually(Condition holds, std::chrono::milliseconds limit = std::chrono::seconds(10),
                std::chrono::milliseconds period = std::chrono::milliseconds(1))
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!holds()) {
        if (std::chrono::steady_clock::now() >= until)
            return holds();
        std::this_thread::sleep_for(period);
    }
    return true;
}
