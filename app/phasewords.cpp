#include "app/phasewords.h"

namespace {

const struct {
    WorkStep step;
    const char *words;
} kSteps[] = {
    {WorkStep::OpenPort, "Opening port"},
    {WorkStep::WaitDevice, "Waiting for device"},
    {WorkStep::Identify, "Identifying"},
    {WorkStep::StartLoader, "Starting flashloader"},
    {WorkStep::ListFirmware, "Listing firmware"},
    {WorkStep::Query, "Querying"},
    {WorkStep::ReadImage, "Reading image"},
    {WorkStep::BlankCheck, "Blank check"},
    {WorkStep::Erase, "Erasing"},
    {WorkStep::Program, "Programming"},
    {WorkStep::Verify, "Verifying"},
    {WorkStep::Done, "Done"},
};

}  // namespace

const char *StepWords(WorkStep step)
{
    for (const auto &s : kSteps)
        if (s.step == step)
            return s.words;
    return "";
}

WorkStep StepOfPhase(ProgressPhase phase)
{
    switch (phase) {
    case PhaseRAMExec: return WorkStep::StartLoader;
    case PhaseProgram: return WorkStep::Program;
    case PhaseVerify: return WorkStep::Verify;
    }
    return WorkStep::None;
}

const char *PhaseWords(int phase)
{
    if (phase < PhaseRAMExec || phase > PhaseVerify)
        return "Working";
    return StepWords(StepOfPhase(static_cast<ProgressPhase>(phase)));
}
