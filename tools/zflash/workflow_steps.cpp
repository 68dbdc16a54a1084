#include "tools/zflash/workflow_steps.h"

#include "tools/zflash/zflash.h"

namespace {

bool StartsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool EndsWith(const std::string &text, const char *suffix)
{
    size_t n = std::char_traits<char>::length(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

struct StepLine {
    const char *text;
    bool prefix;  // the line starts with text (else: equals it)
    Step step;
};

const StepLine kStepLines[] = {
    {"Waiting for target. Power up the device now...", false, Step::Wait},
    {"Target captured. Identifying hardware...", false, Step::Identify},
    {"Starting flashloader (", true, Step::Loader},
    {"Querying installed firmware...", false, Step::Query},
    {"Blank-checking firmware region...", false, Step::BlankCheck},
    {"Erasing firmware region...", false, Step::Erase},
    {"Programming...", false, Step::Program},
    {"Verifying...", false, Step::Verify},
};

struct FailureLine {
    const char *prefix;
    int exitCode;
};

// Failures that are not the device's doing: no port, no device, or an
// installation without the files for the identified hardware.
const FailureLine kFailureLines[] = {
    {"ERROR: Could not open ", ExitNoDevice},
    {"Capture cancelled.", ExitNoDevice},
    {"ERROR: Flashloader image missing or corrupt: ", ExitBadInput},
    {"ERROR: This download does not include firmware for ", ExitBadInput},
    {"ERROR: Could not re-read firmware image.", ExitBadInput},
};

}  // namespace

Step StepOfLogLine(const std::string &line)
{
    if (StartsWith(line, "Opening ") && EndsWith(line, "..."))
        return Step::Open;
    for (const StepLine &s : kStepLines)
        if (s.prefix ? StartsWith(line, s.text) : line == s.text)
            return s.step;
    return Step::None;
}

const char *StepName(Step step)
{
    switch (step) {
    case Step::Open: return "open";
    case Step::Wait: return "wait";
    case Step::Identify: return "identify";
    case Step::Loader: return "loader";
    case Step::Query: return "query";
    case Step::BlankCheck: return "blankCheck";
    case Step::Erase: return "erase";
    case Step::Program: return "program";
    case Step::Verify: return "verify";
    case Step::None: break;
    }
    return "none";
}

bool IsFailureLine(const std::string &line)
{
    return StartsWith(line, "ERROR: ") || line == "Capture cancelled.";
}

int ExitCodeOfFailure(const std::string &line)
{
    for (const FailureLine &f : kFailureLines)
        if (StartsWith(line, f.prefix))
            return f.exitCode;
    return ExitFailed;
}
