// How a gang's supervisor shows what its workers do. The operator's log
// lines of every worker go where one port's would (standard output, or
// standard error with --json), each prefixed with its port; problems go to
// standard error. Bar: one live line per port (live_block.h), redrawn in
// place about ten times a second, fitted to the terminal's width as it is
// now, with lines for the terminal printed above it. Plain: progress lines
// at whole tens of percent, 100% always; none: no progress. At the end a
// summary table, or with --json one record per line.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "tools/zflash/gang_display.h"
#include "tools/zflash/live_block.h"
#include "tools/zflash/progress.h"
#include "tools/zflash/zflash.h"

class GangView : public SupervisorView {
public:
    // `style`: Bar, Plain or None (progress.h); `json`: records instead of
    // the summary; `terminal`: where the live lines go.
    GangView(ProgressStyle style, bool json, LiveTerminal terminal = TerminalOnStderr());

    void Log(const PortState &p, const std::string &text) override;
    void Problem(const PortState &p, const std::string &text) override;
    void Finished(const PortState &p) override;
    // Port `index` reported progress (plain: a line for each tenth reached).
    void Progress(size_t index, const PortState &p) override;
    // The live lines (bar): at most ten times a second, however often called.
    void Draw(const std::vector<PortState> &ports) override;
    // The summary, or with --json the records (one per port, in order).
    void Done(const std::vector<PortState> &ports, const std::vector<nlohmann::json> &records) override;

protected:
    // The live block's lines for a terminal of `columns` (0: no limit).
    virtual std::vector<std::string> LiveLines(const std::vector<PortState> &ports, size_t columns) const;
    void FinalDraw(const std::vector<PortState> &ports);  // the last state stays on the terminal
    void Line(FILE *stream, const std::string &line);  // a whole line, clear of the live block
    static std::string Prefix(const PortState &p);     // "[port] ", as a terminal may show it
    double Seconds() const { return block.Seconds(); }  // since the view was made
    // The width the summary at the end fits: the terminal's when standard
    // output is one, else none.
    static size_t SummaryWidth();

    enum class Style { Bar, Plain, None } style;
    bool json;

private:
    LiveBlock block;
    std::vector<int> shownDecade;
    std::vector<WorkStep> shownStep;
};
