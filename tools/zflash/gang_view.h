// How a gang's supervisor shows what its workers do. The operator's log
// lines of every worker go where one port's would (standard output, or
// standard error with --json), each prefixed with its port; problems go to
// standard error. Bar: one live line per port, redrawn in place, fitted to
// the terminal's width as it is now, with lines for the terminal printed
// above it. Plain: progress lines at whole tens of percent, 100% always;
// none: no progress. At the end a summary table, or with --json one record
// per line.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/zflash/gang_display.h"
#include "tools/zflash/progress.h"
#include "tools/zflash/zflash.h"

class GangView : public SupervisorView {
public:
    // `style`: Bar, Plain or None (progress.h); `json`: records instead of the summary.
    GangView(ProgressStyle style, bool json);

    void Log(const PortState &p, const std::string &text) override;
    void Problem(const PortState &p, const std::string &text) override;
    void Finished(const PortState &p) override;
    // Port `index` reported progress (plain: a line for each tenth reached).
    void Progress(size_t index, const PortState &p) override;
    // The live lines (bar), about ten times a second.
    void Draw(const std::vector<PortState> &ports) override;
    // The summary, or with --json the records (one per port, in order).
    void Done(const std::vector<PortState> &ports, const std::vector<nlohmann::json> &records) override;

private:
    void Above(const std::string &line);  // a line above the live block
    void Erase();                         // the live block goes
    void Line(FILE *stream, const std::string &line);  // a whole line, clear of the live block

    enum class Style { Bar, Plain, None } style;
    bool json;
    size_t drawn = 0;  // lines of the live block on the terminal
    std::vector<int> shownDecade;
    std::vector<WorkStep> shownStep;
};
