#include "tools/zflash/session_view.h"

#include "app/phasewords.h"
#include "station/events.h"
#include "tools/zflash/finish.h"
#include "tools/zflash/output.h"
#include "tools/zflash/progress.h"

namespace {

class Terminal : public SessionView {
public:
    void Result(const std::string &line) override { PrintResult(line); }
    void Log(const std::string &line) override { PrintLog(line); }
    void KeepLog(const std::string &line) override { ::KeepLog(line); }
    void Warning(const std::string &text) override { PrintWarning(text); }
    void Error(const std::string &text) override { PrintError(text); }
    void Notice(const std::string &text) override { PrintNotice(text); }

    void Step(WorkStep step, uint64_t bytes) override
    {
        Event e;
        e.kind = EventKind::Step;
        e.step = step;
        EmitEvent(e);
        for (ProgressPhase phase : {PhaseRAMExec, PhaseProgram, PhaseVerify})
            if (StepOfPhase(phase) == step) {
                ProgressSetTotalBytes(phase, static_cast<double>(bytes));
                ProgressPhaseStarted(phase);
            }
    }

    void Identified(const std::string &product, const std::string &hw) override
    {
        Event e;
        e.kind = EventKind::Device;
        e.product = product;
        e.hw = hw;
        EmitEvent(e);
    }

    void Progress(ProgressPhase phase, int percent) override { ProgressReport(phase, percent); }
    void EraseBusy(bool busy) override { ProgressEraseBusy(busy); }

    void PortPresence(bool present) override
    {
        Event e;
        e.kind = EventKind::Adapter;
        e.present = present;
        EmitEvent(e);
    }
    void Tick() override { ProgressTick(); }
    void WorkflowStarts() override { ShareSessionSoFar(); }
};

}  // namespace

SessionView &TerminalView()
{
    static Terminal terminal;
    return terminal;
}
