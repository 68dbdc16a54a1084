// zflash and an unlucky operator: a reader that goes away, a dropped session,
// empty or bad option values, hostile texts, a full disk, a missing root.
#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/zflash/test_zflash_support.h"

using zftest::kNewestInfo;

namespace {

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

// `zflash program | head -n 2`: the device job goes on to its end.
TEST_F(ZflashDeviceTest, AReaderThatGoesAwayDoesNotStopProgramming)
{
    simOptions.eraseMs = 300;
    ASSERT_TRUE(StartSim());
    ZflashProcess zflash(WithRoot({"program", "--port", Port()}));
    ASSERT_TRUE(zflash.WaitForText("Waiting for target.", 30000));
    zflash.CloseStdout();
    ZflashRun run = zflash.Finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim->InstalledInfo(), kNewestInfo);
}

TEST_F(ZflashDeviceTest, HangupAndTerminateWhileWaitingCancelAsNoDevice)
{
    simOptions.announce = false;
    ASSERT_TRUE(StartSim());
    for (int sig : {SIGHUP, SIGTERM}) {
        ZflashProcess zflash(WithRoot({"capture", "--port", Port()}));
        ASSERT_TRUE(zflash.WaitForText("Waiting for target. Power up the device now...", 30000));
        zflash.Signal(sig);
        ZflashRun run = zflash.Finish();
        EXPECT_EQ(run.exitCode, 3) << sig;
        EXPECT_TRUE(Contains(run.err, "zflash: cancelled.\n")) << sig;
    }
}

TEST_F(ZflashDeviceTest, OneTerminateWhileProgrammingOnlyWarns)
{
    simOptions.eraseMs = 1500;
    ASSERT_TRUE(StartSim());
    ZflashProcess zflash(WithRoot({"program", "--port", Port()}));
    ASSERT_TRUE(zflash.WaitForText("Erasing firmware region...", 30000));
    zflash.Signal(SIGTERM);
    ZflashRun run = zflash.Finish();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.err, "Press Ctrl-C again within 5 seconds to abort anyway."));
    EXPECT_EQ(sim->InstalledInfo(), kNewestInfo);
}

TEST_F(ZflashDeviceTest, EmptyOrBadOptionValuesAreUsageErrors)
{
    ASSERT_TRUE(StartSim());
    for (const char *option : {"--image", "--version"}) {
        ZflashRun run = Zflash({"program", "--port", Port(), option, ""});
        EXPECT_EQ(run.exitCode, 2) << option;
    }
    for (const char *value : {"-1", "abc", "nan", "inf", "1e999"}) {
        ZflashRun run = Zflash({"--timeout", value, "capture", "--port", Port()});
        EXPECT_EQ(run.exitCode, 2) << value;
        EXPECT_TRUE(Contains(run.err, "takes a number of seconds, 0 for no limit")) << run.err;
        EXPECT_LT(run.err.size(), 200u) << run.err;
    }
    EXPECT_EQ(sim->Stats().captures, 0u);
    EXPECT_EQ(sim->InstalledInfo(), zftest::kInstalledInfo);
}

TEST_F(ZflashDeviceTest, AUsageErrorWithJsonStillWritesTheDocument)
{
    ZflashRun run = Zflash({"--json", "program", "--port", "COM1", "--image", ""});
    EXPECT_EQ(run.exitCode, 2);
    nlohmann::json doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["exitCode"], 2);
    EXPECT_EQ(doc["outcome"], "bad-input");
    EXPECT_EQ(doc["command"], "program");
    EXPECT_TRUE(Contains(doc["error"].get<std::string>(), "--image"));
}

TEST_F(ZflashDeviceTest, TextsFromTheDeviceCannotSteerTheTerminalButJsonKeepsThem)
{
    simOptions.installedInfo = "VN:1.0\x1b[2J\rProgramming complete.\r\nMD:VKT-3\r\nHW:VKT3K\r\n";
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"capture", "--port", Port()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, "v1.0\\x1b[2J\\x0dProgramming complete."));
    EXPECT_FALSE(Contains(run.out + run.err, "\x1b"));

    ZflashRun json = Zflash({"--json", "capture", "--port", Port()});
    EXPECT_EQ(nlohmann::json::parse(json.out)["installed"]["before"]["version"],
              "1.0\x1b[2J\rProgramming complete.");
}

TEST_F(ZflashDeviceTest, AnUnknownIdentifierWithControlsIsQuotedVisibly)
{
    simOptions.hw = "VKT\x1b[31m";
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"capture", "--port", Port()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.out + run.err, "'VKT\\x1b[31m'"));
    EXPECT_FALSE(Contains(run.out + run.err, "\x1b"));
}

TEST_F(ZflashDeviceTest, AnOutputCommandThatCannotWriteItsOutputFails)
{
    ZflashProcess inspect(WithRoot({"inspect", (firmwareDir / "fw_1_2_0.bin").string()}), false, "/dev/full");
    ZflashRun run = inspect.Finish();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "zflash: the output could not be written: No space left on device.\n"));

    ZflashProcess list(WithRoot({"list", "--hw", "VKT3K"}), false, "/dev/full");
    EXPECT_EQ(list.Finish().exitCode, 1);
}

TEST_F(ZflashDeviceTest, AMissingRootIsBadInputForEveryCommandThatUsesIt)
{
    ASSERT_TRUE(StartSim());
    const std::string missing = (root / "not-here").string();
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"list", "--hw", "VKT3K"}, {"notes", "--hw", "VKT3K"}, {"capture", "--port", Port()}}) {
        args.insert(args.begin(), {"--root", missing});
        ZflashRun run = RunZflash(args);
        EXPECT_EQ(run.exitCode, 2) << args[2];
        EXPECT_TRUE(Contains(run.err, "zflash: no such folder: " + missing)) << run.err;
    }
    EXPECT_EQ(sim->Stats().captures, 0u);
}

// A folder scan that fails after the folder opened (a link that points at itself).
TEST_F(ZflashDeviceTest, AnUnreadableFirmwareFolderIsBadInputForCaptureAsForList)
{
    std::filesystem::create_symlink("loop.bin", firmwareDir / "loop.bin");
    ASSERT_TRUE(StartSim());
    EXPECT_EQ(Zflash({"capture", "--port", Port()}).exitCode, 2);
    EXPECT_EQ(Zflash({"list", "--hw", "VKT3K"}).exitCode, 2);
}

// A board printing its log on the port without pause: the time-out and one
// Ctrl-C still end the wait for the device.
TEST_F(ZflashDeviceTest, ALineThatNeverStopsTalkingStillEndsTheWait)
{
    simOptions.announce = false;
    simOptions.chatter = true;
    ASSERT_TRUE(StartSim());
    ZflashRun timedOut = Zflash({"--timeout", "1", "capture", "--port", Port()});
    EXPECT_EQ(timedOut.exitCode, 3) << timedOut.err;
    EXPECT_TRUE(Contains(timedOut.err, "no device answered on " + Port() + " within 1 s"));

    ZflashProcess zflash(WithRoot({"capture", "--port", Port()}));
    ASSERT_TRUE(zflash.WaitForText("Waiting for target. Power up the device now...", 30000));
    zflash.Signal(SIGINT);
    ZflashRun cancelled = zflash.Finish();
    EXPECT_EQ(cancelled.exitCode, 3) << cancelled.err;
    EXPECT_TRUE(Contains(cancelled.err, "zflash: cancelled.\n")) << cancelled.err;
}
