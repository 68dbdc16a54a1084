// The production line's pure parts: the gang's display, the record and the
// command line's forgiving readings.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <vector>

#include "tools/zflash/cli_options.h"
#include "tools/zflash/gang_display.h"
#include "station/record.h"
#include "station/record_file.h"

namespace {

PortState Programming()
{
    PortState p;
    p.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    p.device = "VKT-3 (VKT3K)";
    p.step = WorkStep::Program;
    p.percent = 42;
    p.bytesPerSecond = 88600;
    p.seconds = 12.5;
    return p;
}

TEST(GangDisplay, ALineNeverReachesTheTerminalsLastColumn)
{
    for (size_t width : {120u, 80u, 40u, 20u, 2u}) {
        const std::string line = GangLine(Programming(), width);
        EXPECT_LT(line.size(), width) << width;
        if (width >= 40) {  // a long port name keeps its end, which tells adapters apart
            EXPECT_EQ(0u, line.find("/dev...")) << line;
            EXPECT_NE(std::string::npos, line.find("A1B2C3-if00-port0 ")) << line;
        }
    }
}

TEST(GangDisplay, NarrowerTerminalsDropTheBarBeforeTheFigures)
{
    const std::string wide = GangLine(Programming(), 200);
    EXPECT_NE(std::string::npos, wide.find("[########"));
    EXPECT_NE(std::string::npos, wide.find(" 42%  88.6 kB/s"));
    const std::string at80 = GangLine(Programming(), 80);
    EXPECT_EQ(std::string::npos, at80.find("[#"));
    EXPECT_NE(std::string::npos, at80.find("Programming           42%  88.6 kB/s"));
    const std::string at40 = GangLine(Programming(), 40);
    EXPECT_EQ(std::string::npos, at40.find("42%"));
}

TEST(GangDisplay, TheSummaryGivesEachPortItsFirmwareBeforeAndAfterAndItsResult)
{
    PortState ok = Programming();
    ok.finished = true;
    ok.exitCode = 0;
    ok.result = "ok";
    ok.before = "1.0.0";
    ok.after = "1.10.0";
    PortState lost;
    lost.port = "COM12";
    lost.finished = true;
    lost.exitCode = 3;
    lost.result = "no-device";

    const std::vector<std::string> lines = GangSummary({ok, lost});

    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(0u, lines[0].find("Port"));
    EXPECT_NE(std::string::npos, lines[1].find("v1.0.0 -> v1.10.0  ok"));
    EXPECT_NE(std::string::npos, lines[2].find("- -> -"));
    EXPECT_NE(std::string::npos, lines[2].find("no-device"));
    EXPECT_EQ(lines[1].find("VKT-3"), lines[0].find("Device"));  // columns line up
}

TEST(Record, TheResultSaysHowTheSessionEnded)
{
    DeviceResult r;
    EXPECT_STREQ("ok", RecordResult(r, 0));
    r.current = true;
    EXPECT_STREQ("current", RecordResult(r, 0));
    r = DeviceResult();
    r.failure.kind = FailureKind::Cancelled;  // also by SIGTERM: nothing was written
    EXPECT_STREQ("cancelled", RecordResult(r, 3));
    r.failure.kind = FailureKind::Interrupted;
    EXPECT_STREQ("interrupted", RecordResult(r, 1));
    r = DeviceResult();
    r.failure.kind = FailureKind::TimedOut;
    EXPECT_STREQ("no-device", RecordResult(r, 3));
    r.failure.kind = FailureKind::ImageInvalid;
    EXPECT_STREQ("bad-input", RecordResult(r, 2));
    r.failure.kind = FailureKind::Unverifiable;
    EXPECT_STREQ("bad-input", RecordResult(r, 4));
    r.failure.kind = FailureKind::NoAnswer;
    EXPECT_STREQ("failed", RecordResult(r, 1));
}

TEST(Record, EveryKeyIsThereEvenWhereNothingIsKnown)
{
    DeviceResult r;
    r.port = "COM3";
    r.failure.kind = FailureKind::PortOpenFailed;
    r.failure.message = "COM3 does not exist.";
    r.timings = {{WorkStep::OpenPort, 0.25}, {WorkStep::Query, 1.0}, {WorkStep::Query, 0.5}};
    const nlohmann::json record = MakeRecord(r, 3, {"2026-12-07T10:00:00Z", "1.1.0", "line-4", "", "", ""});
    for (const char *key : {"time", "tool_version", "station", "port", "adapter", "device", "before", "after",
                            "image", "result", "failure", "exit_code", "seconds"})
        EXPECT_TRUE(record.contains(key)) << key;
    EXPECT_EQ("", record["before"]["version"]);
    EXPECT_EQ("", record["image"]["sha256"]);
    EXPECT_EQ("port-open-failed", record["failure"]["kind"]);
    EXPECT_EQ("COM3 does not exist.", record["failure"]["detail"]);
    EXPECT_DOUBLE_EQ(1.5, record["seconds"]["query"].get<double>());
    EXPECT_DOUBLE_EQ(1.75, record["seconds"]["total"].get<double>());
}

// What a session that ended early meant for the device, from the steps it
// began: the supervisor's record of a lost worker and the window's record of
// a run ended by closing it both say it.
TEST(Record, ASessionEndedEarlyIsJudgedByTheStepsItBegan)
{
    using S = WorkStep;
    const struct {
        std::vector<WorkStep> steps;
        DeviceWork work;
    } cases[] = {
        {{}, DeviceWork::NotCaptured},
        {{S::OpenPort, S::WaitDevice}, DeviceWork::NotCaptured},
        {{S::OpenPort, S::WaitDevice, S::Identify, S::StartLoader}, DeviceWork::NothingWritten},
        {{S::ReadImage, S::BlankCheck}, DeviceWork::NothingWritten},
        {{S::ReadImage, S::BlankCheck, S::Erase}, DeviceWork::BeingWritten},
        {{S::BlankCheck, S::Program}, DeviceWork::BeingWritten},
        {{S::BlankCheck, S::Erase, S::Program, S::Verify}, DeviceWork::BeingWritten},
        {{S::BlankCheck, S::Erase, S::Program, S::Verify, S::Query}, DeviceWork::Written},
    };
    for (const auto &c : cases) {
        std::vector<StepTime> steps;
        for (WorkStep s : c.steps)
            steps.push_back({s, 0.5});
        EXPECT_EQ(DeviceWorkOf(steps), c.work) << c.steps.size() << " steps";
    }
    const std::vector<StepTime> erasing = {{WorkStep::BlankCheck, 0.1}, {WorkStep::Erase, 0.2}};
    EXPECT_EQ(EarlyEndSentence("The window was closed", erasing, "Program it again."),
              "The window was closed while the device was being written: it may be left without working firmware. "
              "Program it again.");
    EXPECT_EQ(EarlyEndSentence("It ended", {{WorkStep::ReadImage, 0.1}}, "Program it again."),
              "It ended before anything was written to the device.");
}

TEST(CommandLine, TheCommandWordIsFoundPastGlobalOptionsAndTheirValues)
{
    EXPECT_EQ("program", CommandWord({"--root", "x", "--json", "program", "--port", "COM3"}));
    EXPECT_EQ("progam", CommandWord({"--timeout", "5", "progam"}));
    EXPECT_EQ("", CommandWord({"--version"}));
    EXPECT_EQ("list", CommandWord({"--root=x", "list"}));
}

TEST(CommandLine, AMistypedCommandGetsTheNearestOneOrNone)
{
    EXPECT_EQ("program", NearestCommand("progam"));
    EXPECT_EQ("verify", NearestCommand("verfy"));
    EXPECT_EQ("ports", NearestCommand("port"));
    EXPECT_EQ("", NearestCommand("flash-everything"));
}

TEST(CommandLine, AVersionTakesTheListingsForm)
{
    EXPECT_EQ("1.9.7", PlainVersion("v1.9.7"));
    EXPECT_EQ("1.9.7", PlainVersion("V1.9.7"));
    EXPECT_EQ("1.9.7", PlainVersion("1.9.7"));
    EXPECT_EQ("v", PlainVersion("v"));
    EXPECT_EQ("vendor", PlainVersion("vendor"));
}

}  // namespace

namespace {

TEST(GangDisplay, PlainLinesSayThePhaseAndThenTheResult)
{
    PortState p = Programming();
    EXPECT_EQ("Programming: 42%, 88.6 kB/s", GangPlainLine(p));
    p.percent = -1;
    p.bytesPerSecond = 0;
    p.step = WorkStep::Erase;
    EXPECT_EQ("Erasing", GangPlainLine(p));
    p.finished = true;
    p.exitCode = 1;
    p.result = "failed";
    EXPECT_EQ("failed in 12.5 s", GangPlainLine(p));
}

}  // namespace
