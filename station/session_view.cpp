#include "station/session_view.h"

#include <atomic>

namespace {

// Until a front end sets its own: nothing is shown.
class Silent : public SessionView {
public:
    void Result(const std::string &) override {}
    void Log(const std::string &) override {}
    void KeepLog(const std::string &) override {}
    void Warning(const std::string &) override {}
    void Error(const std::string &) override {}
    void Notice(const std::string &) override {}
    void Step(WorkStep, uint64_t) override {}
    void Identified(const std::string &, const std::string &) override {}
    void Progress(ProgressPhase, int) override {}
    void EraseBusy(bool) override {}
    void Tick() override {}
    void WorkflowStarts() override {}
};

Silent silent;
std::atomic<SessionView *> view{&silent};

}  // namespace

void SetSessionView(SessionView *newView)
{
    view = newView ? newView : &silent;
}

SessionView &View()
{
    return *view.load();
}
