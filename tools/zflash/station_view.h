// How a station's supervisor shows its ports. On a terminal: a header with
// the run's figures and one live line per port (what it does, how its last
// unit ended until the next is identified, its counts), each line fitted to
// the terminal's width, redrawn about ten times a second. Plain: each port's
// lines prefixed with it, a line when it starts waiting, when its adapter
// goes or comes back and when a unit ends, progress at whole tens. The
// operator's log as for several ports. With --json each record is printed
// as it comes (JSON Lines). At the end a summary by port.
#pragma once

#include <string>
#include <vector>

#include "tools/zflash/gang_view.h"

class StationView : public GangView {
public:
    StationView(ProgressStyle style, bool json, LiveTerminal terminal = TerminalOnStderr());

    void Finished(const PortState &p) override;
    void Draw(const std::vector<PortState> &ports) override;
    void Record(size_t index, const PortState &p, const nlohmann::json &record) override;
    void Done(const std::vector<PortState> &ports, const std::vector<nlohmann::json> &records) override;

protected:
    std::vector<std::string> LiveLines(const std::vector<PortState> &ports, size_t columns) const override;

private:
    std::vector<std::string> shownState;  // plain: each port's last state line
};
