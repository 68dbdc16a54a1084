// The live displays of several ports and of a station: every line fitted to
// the terminal at every width, and the bytes the view writes rendered on a
// virtual screen (no line wraps, no copies left, at most ten redraws a
// second, only what changed, the cursor hidden and shown again).
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstdint>
#include <memory>

#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include "tests/support/virtual_screen.h"
#include "tools/zflash/station_display.h"
#include "tools/zflash/station_view.h"
#include "tools/zflash/terminal.h"
#include "tools/zflash/terminal_text.h"

namespace {

using Clock = std::chrono::steady_clock;

// Port names with what must stay visible of them: a by-id link's end, wide
// and Cyrillic characters, a control character shown as an escape.
const struct {
    const char *name, *end;
} kNames[] = {
    {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KX9QZ-if00-port0", "-port0"},
    {"/dev/ttyUSB0", "/dev/ttyUSB0"},
    {"/dev/порт-端口-1", "端口-1"},
    {"tty\x1b[2Jx", "tty\\x1b[2Jx"},
};

// Port `i` at `t` seconds into a shift of 12-second units, each waiting,
// identified, erased, programmed, verified; they end failed, ok, current in turn.
PortState At(size_t i, double t)
{
    PortState p;
    p.port = kNames[i % 4].name;
    const double shifted = t + 3.7 * double(i);
    const int units = int(shifted / 12);
    const double phase = std::fmod(shifted, 12);
    for (int k = 0; k < units; ++k) {
        p.result = k % 3 == 0 ? "failed" : k % 3 == 1 ? "ok" : "current";
        (k % 3 == 0 ? p.unitsFailed : k % 3 == 1 ? p.unitsOk : p.unitsCurrent) += 1;
    }
    p.failureKind = p.result == "failed" ? "verify-mismatch" : "";
    p.after = p.result == "failed" ? "" : "1.10.3";
    p.unitSeconds = 11.9;
    p.firstPass = p.unitsOk + p.unitsCurrent;
    p.device = "VKT-3 (VKT3K)";
    p.seconds = t;
    p.step = phase < 2 ? WorkStep::WaitDevice : phase < 2.5 ? WorkStep::Identify : phase < 3.5 ? WorkStep::Erase
             : phase < 8.5 ? WorkStep::Program : phase < 11.5 ? WorkStep::Verify : WorkStep::Done;
    if (p.step == WorkStep::Program || p.step == WorkStep::Verify)
        p.percent = int((phase - (p.step == WorkStep::Program ? 3.5 : 8.5)) * (p.step == WorkStep::Program ? 20 : 33));
    p.adapterGone = i == 1 && t > 13 && t < 15;
    return p;
}

std::vector<PortState> Ports(size_t n, double t)
{
    std::vector<PortState> ports;
    for (size_t i = 0; i < n; ++i)
        ports.push_back(At(i, t));
    return ports;
}

// A terminal of a test: the virtual screen, its size, a clock the test moves.
struct FakeTerminal {
    FakeTerminal(int columns, int rows) : screen(size_t(columns), size_t(rows)), columns(columns), rows(rows) {}
    LiveTerminal Io()
    {
        return {[this](const std::string &s) {
                    screen.Write(s);
                    ++writes;
                    last = s;
                },
                [this] { return columns; }, [this] { return rows; }, [this] { return now; },
                [this](bool h) { hidden = h; }};
    }
    void Resize(int to, bool reflow)
    {
        columns = to;
        screen.Resize(size_t(to), reflow);
    }
    VirtualScreen screen;
    int columns, rows;
    Clock::time_point now{};
    size_t writes = 0;
    std::string last;  // the last write
    bool hidden = false;
};

}  // namespace

TEST(StationDisplay, EveryLineFitsEveryWidthAndKeepsWhatMattersMost)
{
    for (size_t width = 40; width <= 200; ++width) {
        for (double t : {0.0, 1.0, 2.2, 5.0, 9.0, 11.8, 13.5, 25.0, 37.0}) {
            const std::vector<PortState> ports = Ports(4, t);
            const size_t names = StationNameColumns(ports, width);
            const std::string header = StationHeader(ports, t, width);
            ASSERT_LT(DisplayColumns(header), width) << header;
            EXPECT_EQ(0u, header.find("units ")) << header;
            if (width == 40 || width == 200) {  // the time and rate go first
                EXPECT_EQ(width == 200, header.find("units/h  elapsed ") != std::string::npos) << header;
            }
            for (size_t i = 0; i < ports.size(); ++i) {
                const PortState &p = ports[i];
                const std::string line = StationLine(p, width, names);
                const auto has = [&line](const std::string &part) { return line.find(part) != std::string::npos; };
                ASSERT_LT(DisplayColumns(line), width) << line;
                EXPECT_TRUE(has(kNames[i].end)) << line;
                EXPECT_TRUE(has(StationState(p)) || has(p.adapterGone ? "no adapter" : "waiting  ")) << line;
                // The last unit's outcome until the next one is identified, in full from 80 columns.
                const bool idle = !p.result.empty() && (p.adapterGone || p.step <= WorkStep::Identify);
                if (!idle)
                    EXPECT_FALSE(has("last:")) << line;
                else if (width < 80)
                    EXPECT_TRUE(has(p.result == "ok" ? "done" : p.result)) << line;
                else
                    EXPECT_TRUE(has("last: " + StationOutcome(p))) << line;
            }
        }
    }
    PortState big = At(0, 0);
    big.unitsOk = 123456;
    big.unitsCurrent = big.unitsFailed = 9999;
    EXPECT_EQ("123456 ok, 9999 current, 9999 failed", StationHeader({big}, 1, 40));
}

TEST(TerminalText, ColumnsAreCountedAsShownAndNamesShortenInTheMiddle)
{
    EXPECT_EQ(6u, DisplayColumns("端口-1"));
    EXPECT_EQ(4u, DisplayColumns("порт"));
    EXPECT_EQ("端", CutToColumns("端口", 3));  // never half a wide character
    EXPECT_EQ("/dev...A10KX9QZ-if00-port0", ShortenMiddle(kNames[0].name, 26));
    EXPECT_EQ("/dev/ttyUSB0", ShortenMiddle("/dev/ttyUSB0", 26));
    EXPECT_EQ("...if00-port0", ShortenMiddle(kNames[0].name, 13));  // no start too short to tell anything
    EXPECT_EQ("|端口  |", "|" + Pad("端口", 6) + "|");
}

// Lines for a terminal that no terminal wraps: a message folded (nothing of
// it lost), a summary whose names give way, at every width.
TEST(TerminalText, MessagesFoldAndTablesNarrowToTheWidthLosingNothingThatMatters)
{
    const std::string message = "[" + std::string(kNames[0].name) +
                                "] zflash: warning: no new units are taken; the unit under way is finished. Press "
                                "Ctrl-C again within 5 seconds to interrupt it. 端口端口端口";
    const std::vector<std::vector<std::string>> table = {
        {"Port", "Units", "ok", "failed"}, {kNames[0].name, "12", "11", "1"}, {"/dev/ttyUSB0", "3", "3", "0"}};
    for (size_t width = 40; width <= 200; width += 7) {
        SCOPED_TRACE(width);
        std::string joined;
        for (const std::string &line : FoldToColumns(message, width)) {
            EXPECT_LT(DisplayColumns(line), width) << line;
            joined += line;
        }
        EXPECT_EQ(joined, message);
        const std::vector<std::string> lines = Columns(table, width);
        ASSERT_EQ(lines.size(), 3u);
        for (const std::string &line : lines)
            EXPECT_LT(DisplayColumns(line), width) << line;
        EXPECT_EQ(lines[0].find("Port"), 0u);
        EXPECT_NE(lines[1].find("-port0  12"), std::string::npos) << "the name's end stays";
        EXPECT_EQ(lines[2].find("/dev/ttyUSB0"), 0u);
    }
    EXPECT_EQ(Columns(table), Columns(table, 0)) << "no width, no change";

    // A wide table on a narrow terminal: the names give way, then the last
    // columns, in order; the counts stay as long as they can.
    const std::vector<std::vector<std::string>> summary = {
        {"Port", "Units", "ok", "current", "failed", "yield", "units/h"},
        {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", "5", "4", "1", "0", "80%", "1050"},
        {"all", "5", "4", "1", "0", "80%", "1050"}};
    size_t kept = 2;
    for (size_t width = 16; width <= 120; ++width) {
        SCOPED_TRACE(width);
        const std::vector<std::string> lines = Columns(summary, width);
        ASSERT_EQ(lines.size(), 3u);
        for (const std::string &line : lines)
            EXPECT_LT(DisplayColumns(line), width) << line;
        const std::string &head = lines[0];
        size_t columns = 0;
        for (const std::string &cell : summary[0])
            columns += head.find(cell) != std::string::npos;
        EXPECT_GE(columns, kept) << head << ": a wider terminal shows no fewer columns";
        kept = std::max(kept, columns);
        if (width >= 40) {
            EXPECT_NE(head.find("failed"), std::string::npos) << head;
        }
    }
    EXPECT_EQ(kept, summary[0].size());

    // Names that differ only in their middle stay apart at every width.
    const std::vector<std::string> names = {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KX892-if00-port0",
                                            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KX533-if00-port0",
                                            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KX533-if01-port0",
                                            "/dev/ttyUSB0", "Port"};
    for (size_t columns = 8; columns <= 70; ++columns) {
        SCOPED_TRACE(columns);
        const std::vector<std::string> shown = ShortenNames(names, columns);
        ASSERT_EQ(shown.size(), names.size());
        for (size_t i = 0; i < shown.size(); ++i) {
            EXPECT_LE(DisplayColumns(shown[i]), columns) << shown[i];
            for (size_t j = 0; j < i; ++j)
                EXPECT_NE(shown[i], shown[j]);
        }
        if (columns >= names[3].size()) {
            EXPECT_EQ(shown[3], "/dev/ttyUSB0") << "a name that fits is left as it is";
        }
    }
}

// The view's bytes over 30 s of a shift, with Draw called as often as the
// supervisor may (every 6 ms) and a problem printed above every 3 s.
TEST(LiveDisplay, ManyRedrawsNeitherWrapNorLeaveCopiesAndAreAtMostTenASecond)
{
    for (const bool station : {true, false})
        for (const int columns : {40, 80}) {
            SCOPED_TRACE((station ? "station at " : "gang at ") + std::to_string(columns));
            FakeTerminal term(columns, 24);
            term.screen.Write(std::string(30, '\n'));  // earlier output fills the screen
            std::unique_ptr<GangView> view;
            if (station)
                view.reset(new StationView(ProgressStyle::Bar, true, term.Io()));
            else
                view.reset(new GangView(ProgressStyle::Bar, true, term.Io()));
            size_t problems = 0;
            for (int ms = 0; ms <= 30000; ms += 6) {
                term.now = Clock::time_point{} + std::chrono::milliseconds(ms);
                const std::vector<PortState> ports = Ports(3, ms / 1000.0);
                if (ms % 3000 == 0) {
                    // A burst of long lines above: folded, and no burst of redraws.
                    for (int n = 0; n < 4; ++n, ++problems)
                        view->Problem(ports[1], "note " + std::string(size_t(columns) * 2, 'x') + " end");
                }
                view->Draw(ports);
                ASSERT_TRUE(term.hidden);
                ASSERT_FALSE(term.screen.cursorVisible);
            }
            // Redraws of the state, and each problem's line: a line above costs
            // no redraw of its own (the block comes back in its turn).
            EXPECT_LE(term.writes, 30 * 10 + 1 + problems);
            EXPECT_GE(term.writes, 30 * 8);  // and it stays live
            view->Done(Ports(3, 30), {});
            EXPECT_TRUE(term.screen.cursorVisible);
            EXPECT_FALSE(term.hidden);
            EXPECT_EQ(0u, term.screen.wraps);
            EXPECT_EQ(0u, term.screen.lastColumn);
            EXPECT_EQ(0u, term.screen.unknown);
            EXPECT_EQ(station ? 1u : 0u, term.screen.RowsStartingWith("units "));
            // The block is whole at the bottom, each port once.
            const std::vector<std::string> rows = term.screen.Rows();
            EXPECT_EQ(0u, rows[rows.size() - (station ? 5 : 4)].find(station ? "units " : "/dev..."));
            for (const char *end : {"-port0", "/dev/ttyUSB0", "端口-1"}) {
                size_t seen = 0;
                for (const std::string &row : rows)
                    seen += row.find(end) != std::string::npos && row[0] != '[';
                EXPECT_EQ(1u, seen) << end;
            }
        }
}

TEST(LiveDisplay, AnUnchangedBlockWritesNothingAndAChangeOnlyItsLine)
{
    FakeTerminal term(80, 24);
    StationView view(ProgressStyle::Bar, true, term.Io());
    std::vector<PortState> ports = Ports(2, 5.0);
    view.Draw(ports);
    const size_t first = term.writes;
    for (int i = 1; i < 9; ++i) {  // within the first second: the header's time stays
        term.now += std::chrono::milliseconds(100);
        view.Draw(ports);
    }
    EXPECT_EQ(first, term.writes);
    ports[1].percent += 1;
    term.now += std::chrono::milliseconds(100);
    view.Draw(ports);
    EXPECT_EQ(first + 1, term.writes);
    EXPECT_EQ(std::string::npos, term.last.find("units "));
    EXPECT_NE(std::string::npos, term.last.find(std::to_string(ports[1].percent) + "%"));
    EXPECT_LT(term.last.size(), 20u);  // from where the line changed
}

TEST(LiveDisplay, AResizedTerminalGetsTheBlockAnewWithoutCopies)
{
    const struct {
        int to;
        bool reflow;
    } kResizes[] = {{50, true}, {120, true}, {40, true}, {60, false}, {200, true}, {41, false}};
    FakeTerminal term(120, 30);
    StationView view(ProgressStyle::Bar, true, term.Io());
    term.screen.Write(std::string(40, '\n'));
    double t = 20;
    for (const auto &resize : kResizes) {
        view.Draw(Ports(3, t));
        term.Resize(resize.to, resize.reflow);
        term.now += std::chrono::milliseconds(150);
        view.Draw(Ports(3, t += 0.15));
        EXPECT_EQ(1u, term.screen.RowsStartingWith("units ")) << resize.to;
        EXPECT_EQ(0u, term.screen.wraps) << resize.to;
        term.now += std::chrono::milliseconds(150);
        view.Problem(Ports(3, t)[1], "note");
    }
    view.Done(Ports(3, t), {});
    EXPECT_EQ(1u, term.screen.RowsStartingWith("units "));
    EXPECT_EQ(0u, term.screen.unknown);
}

TEST(LiveDisplay, TheCursorComesBackOnEveryWayOut)
{
    {
        FakeTerminal term(80, 24);
        {
            GangView view(ProgressStyle::Bar, false, term.Io());
            view.Draw(Ports(2, 4));
            EXPECT_FALSE(term.screen.cursorVisible);
        }  // an error path: the view goes without Done
        EXPECT_TRUE(term.screen.cursorVisible);
        EXPECT_FALSE(term.hidden);
    }
    // Ends of the process that skip the view: exit(), std::terminate, a fatal signal.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT((CursorHidden(true), std::exit(0)), testing::ExitedWithCode(0), "\\[\\?25h");
    EXPECT_DEATH((CursorHidden(true), std::terminate()), "\\[\\?25h");
    const auto died = [](int status) { return !WIFEXITED(status) || WEXITSTATUS(status) != 0; };
    EXPECT_EXIT((CursorHidden(true), std::raise(SIGQUIT)), died, "\\[\\?25h");
    static volatile std::uintptr_t unmapped = 8;
    EXPECT_EXIT((CursorHidden(true), *reinterpret_cast<int *>(unmapped) = 1), died, "\\[\\?25h");
    EXPECT_EXIT((CursorHidden(true), CursorHidden(false), std::exit(0)), testing::ExitedWithCode(0), "^$");
}

TEST(LiveDisplay, TheBlockCutsWhateverItIsGiven)
{
    FakeTerminal term(80, 24);
    LiveBlock block(term.Io());
    block.Draw({std::string(70, 'x') + "\tport\x1b[2J" + std::string(20, 'y'), "端口" + std::string(77, 'z')}, 80);
    EXPECT_EQ(0u, term.screen.wraps);
    EXPECT_EQ(0u, term.screen.lastColumn);
    EXPECT_EQ(std::string(70, 'x') + " port\\x1b", term.screen.Rows()[0]);
}
