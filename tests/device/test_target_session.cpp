#include <gtest/gtest.h>

#include <array>

#include "tests/support/target_harness.h"

namespace {

std::vector<std::array<int, 3>> progressCalls;

void RecordProgress(ProgressPhase phase, int done, int total)
{
    progressCalls.push_back({int(phase), done, total});
}

std::vector<std::array<int, 3>> Steps(ProgressPhase phase, int total)
{
    std::vector<std::array<int, 3>> steps;
    for (int done = 1; done <= total; done++)
        steps.push_back({int(phase), done, total});
    return steps;
}

const std::string kLoaderInfo = "VN:1.4\r\nMD:VKT-3\r\nHW:VKT3K\r\nBR:921600\r\n";
const std::string kNewInfo = "VN:2.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-03-01 12:00\r\n";

// A flash loader in three blocks whose data begin with its information text.
std::vector<BLK> LoaderBlocks()
{
    std::string code = kLoaderInfo + '\0' + std::string(40, '\x11');
    return {BLK{0, uint16_t(code.size()), code}, BLK{1, 64, std::string(64, '\x22')},
            BLK{0, 10, std::string(10, '\x33')}};
}

// Firmware whose first block begins with its information text: three blocks.
std::string FirmwareBytes()
{
    std::string bytes = kNewInfo + '\0';
    for (int i = 0; bytes.size() < 2500; i++)
        bytes.push_back(char(i * 7));
    return bytes;
}

}  // namespace

TEST_F(SimTargetTest, FullSessionStartsTheLoaderThenProgramsAndVerifiesTheFirmware)
{
    Connect();
    progressCalls.clear();
    SetProgressCallback(RecordProgress);

    std::string hw;
    EXPECT_EQ(Printed([&] { hw = Query("HW"); }), "VKT3K\n");
    EXPECT_EQ(hw, "VKT3K");

    std::unique_ptr<IMG> loader = LoadImage(kLoaderInfo, 0x20000000, LoaderBlocks());
    ASSERT_NE(loader, nullptr);
    bool started = false;
    EXPECT_EQ(Printed([&] { started = RAMExec(loader.get(), false, 921600); }),
              "  Transmitting image to target (RAMExec).\n     33%\r     67%\r    100%\r\n"
              "  Target execution started.\n  Setting baud rate to 921600.\n");
    ASSERT_TRUE(started);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(Port.BaudRate(), 921600u);
    EXPECT_TRUE(Eventually([&] { return sim->LoaderRunning(); }));  // the device switches after its reply
    EXPECT_EQ(sim->CurrentBaud(), 921600u);
    EXPECT_EQ(progressCalls, Steps(PhaseRAMExec, 3));

    const std::string installed = SimOptions().installedInfo;
    std::string info;
    EXPECT_EQ(Printed([&] { info = GetInfo(2); }), installed + "\n");
    EXPECT_EQ(info, installed);

    bool blank = true;
    EXPECT_EQ(Printed([&] { blank = BlankCheck(2u); }),
              "  ERR:  Operation failed with the following error:\n        Flash not blank.\n");
    EXPECT_FALSE(blank);
    EXPECT_EQ(LastError(), 7);

    bool erased = false;
    EXPECT_EQ(Printed([&] { erased = EraseFlash(2); }), "  Region 2 was successfully erased.\n");
    EXPECT_TRUE(erased);
    EXPECT_EQ(Printed([&] { blank = BlankCheck(2u); }), "  Region 2 is blank.\n");
    EXPECT_TRUE(blank);
    EXPECT_EQ(LastError(), 0);

    std::unique_ptr<IMG> firmware = LoadImage(kNewInfo, 0x08004000, SplitIntoBlocks(FirmwareBytes(), 1024));
    ASSERT_NE(firmware, nullptr);
    ASSERT_EQ(firmware->blocks.size(), 3u);
    progressCalls.clear();
    bool programmed = false, verified = false;
    EXPECT_EQ(Printed([&] { programmed = ProgramFlash(firmware.get()); }),
              "  Transmitting image to target (ProgramFlash).\n     33%\r     67%\r    100%\r\n"
              "  Flash programming complete.\n");
    EXPECT_EQ(Printed([&] { verified = VerifyFlash(firmware.get()); }),
              "  Transmitting image to target (VerifyFlash).\n    33%\r    67%\r   100%\r\n"
              "  Flash verification complete.\n");
    EXPECT_TRUE(programmed);
    EXPECT_TRUE(verified);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(sim->FlashContents(), FirmwareBytes());
    std::vector<std::array<int, 3>> expected = Steps(PhaseProgram, 3), verify = Steps(PhaseVerify, 3);
    expected.insert(expected.end(), verify.begin(), verify.end());
    EXPECT_EQ(progressCalls, expected);

    Printed([&] { info = GetInfo(2); });
    EXPECT_NE(info.find("VN:2.0.0\r\n"), std::string::npos) << info;
}

TEST_F(SimTargetTest, RamExecutionWithHangUpReleasesThePort)
{
    Connect();
    std::unique_ptr<IMG> loader = LoadImage(kLoaderInfo, 0x20000000, LoaderBlocks());
    ASSERT_NE(loader, nullptr);
    bool started = false;
    std::string out = Printed([&] { started = RAMExec(loader.get()); });
    EXPECT_TRUE(started);
    EXPECT_NE(out.find("\n  Target execution started.\n  Closing COM port.\n"), std::string::npos) << out;
    EXPECT_EQ(Port.State(), 0);
    EXPECT_EQ(Printed([] { Query("HW"); }), "  ERR:  Can't query.  COM port not open.\n");
}

TEST_F(SimTargetTest, WithoutACallbackOperationsRunUnchanged)
{
    Connect();
    progressCalls.clear();
    SetProgressCallback(RecordProgress);
    SetProgressCallback(nullptr);
    std::unique_ptr<IMG> loader = LoadImage(kLoaderInfo, 0x20000000, LoaderBlocks());
    ASSERT_NE(loader, nullptr);
    bool started = false;
    Printed([&] { started = RAMExec(loader.get(), false, 921600); });
    EXPECT_TRUE(started);
    EXPECT_TRUE(progressCalls.empty());
}

TEST_F(SimTargetTest, ImageWithoutBlocksProgramsWithoutSendingACommand)
{
    Connect();
    IMG empty;
    sim->ResetStats();
    bool programmed = false, verified = false;
    EXPECT_EQ(Printed([&] { programmed = ProgramFlash(&empty); }),
              "  Transmitting image to target (ProgramFlash).\n\n  Flash programming complete.\n");
    Printed([&] { verified = VerifyFlash(&empty); });
    EXPECT_TRUE(programmed);
    EXPECT_TRUE(verified);
    EXPECT_TRUE(sim->Stats().commands.empty());
}
