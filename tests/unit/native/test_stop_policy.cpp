// What a press of Ctrl-C (or SIGTERM, SIGHUP) and the deadline mean at each
// moment of a session: one table of sequences, each press at a given time,
// in a given workflow and step, with the decision it must give.
#include <gtest/gtest.h>

#include <vector>

#include "station/session_view.h"
#include "station/stop_policy.h"

namespace {

class QuietView : public QuietSessionView {
public:
    void Warning(const std::string &text) override { warnings.push_back(text); }
    void Notice(const std::string &text) override { notices.push_back(text); }
    std::vector<std::string> warnings, notices;
};

struct Moment {
    double at;        // seconds since the session's start
    Workflow kind;    // the workflow under way
    WorkStep step;
    bool waiting;     // no device captured yet
    int presses;
    StopDecision::Action action;
    FailureKind kind_ = FailureKind::None;  // of an Abort
};

struct Case {
    const char *name;
    bool station;
    double deadline;  // seconds from the start; 0: none
    std::vector<Moment> moments;
};

using A = StopDecision;
using W = Workflow;
using S = WorkStep;
using K = FailureKind;

const Case kCases[] = {
    {"a press while waiting cancels the wait; a second aborts", false, 0,
     {{0.1, W::Capture, S::WaitDevice, true, 1, A::Cancel}, {0.2, W::Capture, S::WaitDevice, true, 1, A::Abort, K::Cancelled}}},
    {"one press while programming only warns", false, 0, {{1, W::Program, S::Erase, false, 1, A::GoOn}}},
    {"a second press within 5 s while erasing interrupts", false, 0,
     {{1, W::Program, S::Erase, false, 1, A::GoOn}, {3, W::Program, S::Erase, false, 1, A::Abort, K::Interrupted}}},
    {"a second press before anything was written cancels", false, 0,
     {{1, W::Program, S::ReadImage, false, 1, A::GoOn}, {2, W::Program, S::BlankCheck, false, 1, A::Abort, K::Cancelled}}},
    {"a press 6 s after the warning only warns again", false, 0,
     {{1, W::Program, S::Program, false, 1, A::GoOn}, {7, W::Program, S::Program, false, 0, A::GoOn},
      {7.5, W::Program, S::Program, false, 1, A::GoOn}}},
    {"a station waiting for a unit stops waiting", true, 0, {{0.5, W::NextUnit, S::WaitDevice, true, 1, A::Cancel}}},
    {"a station finishes a unit it captured on one press", true, 0,
     {{0.5, W::NextUnit, S::StartLoader, false, 1, A::GoOn}}},
    {"the warning holds across the workflows of a unit", true, 0,
     {{0.5, W::NextUnit, S::Identify, false, 1, A::GoOn}, {2, W::Query, S::Query, false, 1, A::Abort, K::Cancelled}}},
    {"from the query into programming the window does not restart", true, 0,
     {{0.5, W::Query, S::Query, false, 1, A::GoOn}, {4, W::Program, S::Program, false, 1, A::Abort, K::Interrupted}}},
    {"a station's second press while verifying a current unit cancels", true, 0,
     {{1, W::Verify, S::Verify, false, 1, A::GoOn}, {2, W::Verify, S::Verify, false, 1, A::Abort, K::Cancelled}}},
    {"a second press while verifying what was programmed interrupts", true, 0,
     {{1, W::Program, S::Verify, false, 1, A::GoOn}, {2, W::Program, S::Verify, false, 1, A::Abort, K::Interrupted}}},
    {"two presses at once in a unit under way interrupt", true, 0,
     {{1, W::Program, S::Erase, false, 2, A::Abort, K::Interrupted}}},
    {"the deadline while waiting times out", false, 2,
     {{1, W::Capture, S::WaitDevice, true, 0, A::GoOn}, {2.5, W::Capture, S::WaitDevice, true, 0, A::Abort, K::TimedOut}}},
    {"the deadline while programming interrupts", false, 2, {{3, W::Program, S::Program, false, 0, A::Abort, K::Interrupted}}},
    {"the deadline before anything was written times out", false, 2,
     {{3, W::Query, S::Query, false, 0, A::Abort, K::TimedOut}}},
};

TEST(StopPolicy, EachPressAndTheDeadlineMeanWhatTheirMomentSays)
{
    QuietView view;
    SetSessionView(&view);
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        const SteadyClock::time_point start = SteadyClock::now();
        SetSessionDeadline(c.deadline);
        PressMemory memory;
        for (const Moment &m : c.moments) {
            StopPolicy policy(m.kind, c.station, memory);  // a new workflow may start at each moment
            const auto now = start + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(m.at));
            const StopDecision d = policy.Check(m.presses, m.step, m.waiting, now);
            EXPECT_EQ(d.action, m.action) << "at " << m.at << " s";
            if (m.action == A::Abort) {
                EXPECT_EQ(d.kind, m.kind_) << "at " << m.at << " s";
                EXPECT_FALSE(d.message.empty());
            }
        }
    }
    SetSessionDeadline(0);
    EXPECT_FALSE(view.warnings.empty());
}

}  // namespace
