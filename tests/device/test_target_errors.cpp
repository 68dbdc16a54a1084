#include <gtest/gtest.h>

#include <array>

#include "tests/support/target_harness.h"
#include "targetlib/transact.h"

namespace {

std::vector<std::array<int, 3>> progressCalls;

void RecordProgress(ProgressPhase phase, int done, int total)
{
    progressCalls.push_back({int(phase), done, total});
}

const std::string kLoaderInfo = "VN:1.4\r\nBR:921600\r\n";

IMG Loader(int blocks)
{
    IMG img;
    img.address = 0x20000000;
    std::string first = kLoaderInfo + '\0';
    img.blocks.push_back(BLK{0, uint16_t(first.size()), first});
    for (int i = 1; i < blocks; i++)
        img.blocks.push_back(BLK{0, 16, std::string(16, char(i))});
    return img;
}

IMG Firmware(int blocks)
{
    IMG img;
    for (int i = 0; i < blocks; i++)
        img.blocks.push_back(BLK{0, 32, std::string(32, char('A' + i))});
    return img;
}

SimOptions WithFault(SimFault::Kind kind, int command, int count, unsigned value = 0, int skip = 0)
{
    SimOptions options;
    SimFault fault;
    fault.kind = kind;
    fault.command = command;
    fault.count = count;
    fault.value = value;
    fault.skip = skip;
    options.faults.push_back(fault);
    return options;
}

class TargetErrorsTest : public SimTargetTest {
protected:
    // Connects and starts the flash loader at 921600.
    void ConnectToLoader(const SimOptions &options = {})
    {
        Connect(options);
        IMG loader = Loader(1);
        bool started = false;
        Printed([&] { started = RAMExec(&loader, false, 921600); });
        ASSERT_TRUE(started);
        progressCalls.clear();
        SetProgressCallback(RecordProgress);
    }
};

}  // namespace

TEST_F(TargetErrorsTest, RegionNotBlankLeavesLastErrorSeven)
{
    ConnectToLoader();  // firmware is installed
    bool blank = true;
    EXPECT_EQ(Printed([&] { blank = BlankCheck(2u); }),
              "  ERR:  Operation failed with the following error:\n        Flash not blank.\n");
    EXPECT_FALSE(blank);
    EXPECT_EQ(LastError(), 7);
}

TEST_F(TargetErrorsTest, VerifyMismatchNamesTheBlockAfterReportingTheBlocksBefore)
{
    SimOptions options;
    options.verifyMismatchBlock = 2;
    ConnectToLoader(options);
    IMG image = Firmware(4);
    Printed([&] {
        EraseFlash(2);
        ProgramFlash(&image);
    });
    progressCalls.clear();
    bool verified = true;
    EXPECT_EQ(Printed([&] { verified = VerifyFlash(&image); }),
              "  Transmitting image to target (VerifyFlash).\n    25%\r    50%\r"
              "  ERR:  Operation failed with the following error at block 2:\n        Flash verify error.\n");
    EXPECT_FALSE(verified);
    EXPECT_EQ(LastError(), 6);
    EXPECT_EQ(progressCalls, (std::vector<std::array<int, 3>>{{2, 1, 4}, {2, 2, 4}}));
}

TEST_F(TargetErrorsTest, ProgrammingErrorStopsAtThatBlock)
{
    ConnectToLoader(WithFault(SimFault::ErrorCode, CmdProgramAlt, 1, 3, 1));
    IMG image = Firmware(3);
    Printed([] { EraseFlash(2); });
    sim->ResetStats();
    bool programmed = true;
    EXPECT_EQ(Printed([&] { programmed = ProgramFlash(&image); }),
              "  Transmitting image to target (ProgramFlash).\n     33%\r"
              "  ERR:  Operation failed with the following error at block 1:\n        Flash write error.\n");
    EXPECT_FALSE(programmed);
    EXPECT_EQ(LastError(), 6);
    EXPECT_EQ(sim->Stats().commands, (std::vector<int>{CmdProgramAlt, CmdProgramAlt}));
}

TEST_F(TargetErrorsTest, BlockFlagsChooseTheCommandOfThePair)
{
    ConnectToLoader();
    IMG image;
    image.blocks = {BLK{0x01, 1, "a"}, BLK{0xFE, 1, "b"}};
    sim->ResetStats();
    Printed([&] {
        EraseFlash(2);
        ProgramFlash(&image);
        VerifyFlash(&image);
    });
    EXPECT_EQ(sim->Stats().commands,
              (std::vector<int>{CmdErase, CmdProgram, CmdProgramAlt, CmdVerify, CmdVerifyAlt}));
}

TEST_F(TargetErrorsTest, UnansweredCommandFailsWithLastErrorTwoAfterThreeAttempts)
{
    ConnectToLoader(WithFault(SimFault::DropReply, CmdBlankCheck, -1));
    sim->ResetStats();
    bool blank = true;
    EXPECT_EQ(Printed([&] { blank = BlankCheck(2u); }), "  ERR:  No response from target.\n");
    EXPECT_FALSE(blank);
    EXPECT_EQ(LastError(), 2);
    EXPECT_EQ(sim->Stats().commands, std::vector<int>(3, CmdBlankCheck));
}

TEST_F(TargetErrorsTest, UnansweredBlockIsATimeout)
{
    ConnectToLoader(WithFault(SimFault::DropReply, CmdVerifyAlt, -1));
    IMG image = Firmware(2);
    bool verified = true;
    EXPECT_EQ(Printed([&] { verified = VerifyFlash(&image); }),
              "  Transmitting image to target (VerifyFlash).\n\n  ERR:  Timeout waiting for target.\n");
    EXPECT_FALSE(verified);
    EXPECT_EQ(LastError(), 2);
    EXPECT_TRUE(progressCalls.empty());
}

TEST_F(TargetErrorsTest, OddStatusIsUnexpectedWithLastErrorThree)
{
    ConnectToLoader(WithFault(SimFault::OddStatus, CmdErase, 1, 5));
    bool erased = true;
    EXPECT_EQ(Printed([&] { erased = EraseFlash(2); }), "  ERR:  Unexpected response from target.\n");
    EXPECT_FALSE(erased);
    EXPECT_EQ(LastError(), 3);
}

TEST_F(TargetErrorsTest, MissingStringDataLeavesLastErrorEight)
{
    SimOptions options;
    options.hw = "";
    Connect(options);
    std::string hw = "unchanged";
    EXPECT_EQ(Printed([&] { hw = Query("HW"); }),
              "  ERR:  Operation failed with the following error:\n        No string data.\n");
    EXPECT_EQ(hw, "");
    EXPECT_EQ(LastError(), 8);
}

TEST_F(TargetErrorsTest, UnansweredInformationRequestPrintsAnUnindentedLine)
{
    Connect(WithFault(SimFault::DropReply, CmdGetInfo, -1));
    std::string info = "unchanged";
    EXPECT_EQ(Printed([&] { info = GetInfo(2); }), "ERR:  No response from target.\n");
    EXPECT_EQ(info, "");
    EXPECT_EQ(LastError(), 2);
}

TEST_F(TargetErrorsTest, RejectedRamBlockPrintsItsCodeAsASignedByte)
{
    Connect(WithFault(SimFault::ErrorCode, CmdRamBlockAlt, 1, 0xFF, 1));
    IMG loader = Loader(3);
    progressCalls.clear();
    SetProgressCallback(RecordProgress);
    sim->ResetStats();
    bool started = true;
    EXPECT_EQ(Printed([&] { started = RAMExec(&loader, false, 921600); }),
              "  Transmitting image to target (RAMExec).\n     33%\r"
              "\n  ERR:  Target rejected packet (code=-1).  Aborting.\n\n  ERR:  RAM execution failed.\n");
    EXPECT_FALSE(started);
    EXPECT_EQ(LastError(), 6);
    EXPECT_EQ(progressCalls, (std::vector<std::array<int, 3>>{{0, 1, 3}}));
    EXPECT_EQ(sim->Stats().commands, (std::vector<int>{CmdRamBlockAlt, CmdRamBlockAlt}));
    EXPECT_EQ(Port.BaudRate(), 115200u);
}

TEST_F(TargetErrorsTest, UnansweredRamBlockIsATimeout)
{
    Connect(WithFault(SimFault::DropReply, CmdRamBlockAlt, -1));
    IMG loader = Loader(2);
    bool started = true;
    EXPECT_EQ(Printed([&] { started = RAMExec(&loader, false, 921600); }),
              "  Transmitting image to target (RAMExec).\n"
              "\n  ERR:  Timeout waiting for target.\n\n  ERR:  RAM execution failed.\n");
    EXPECT_FALSE(started);
    EXPECT_EQ(LastError(), 6);
}

TEST_F(TargetErrorsTest, UnansweredStartNamesTheAddress)
{
    Connect(WithFault(SimFault::DropReply, CmdRamStart, -1));
    IMG loader = Loader(1);
    bool started = true;
    EXPECT_EQ(Printed([&] { started = RAMExec(&loader, false, 921600); }),
              "  Transmitting image to target (RAMExec).\n    100%\r\n"
              "  ERR:  Execution could not be started at address 20000000.\n  ERR:  RAM execution failed.\n");
    EXPECT_FALSE(started);
    EXPECT_EQ(LastError(), 6);
    EXPECT_EQ(Port.State(), 2);
}

TEST_F(TargetErrorsTest, RefusedBaudRateFailsTheRamExecution)
{
    Connect();
    IMG loader = Loader(1);
    bool started = true;
    std::string out = Printed([&] { started = RAMExec(&loader, false, 12345); });
    EXPECT_FALSE(started);
    EXPECT_EQ(LastError(), 6);
    EXPECT_NE(out.find("  Target execution started.\n  Setting baud rate to 12345.\n"), std::string::npos) << out;
    const std::string last = "  ERR:  RAM execution failed.\n";
    ASSERT_GE(out.size(), last.size());
    EXPECT_EQ(out.substr(out.size() - last.size()), last) << out;
}

TEST_F(TargetErrorsTest, ResetAnsweredWithAnErrorStillSucceedsAndReleasesThePort)
{
    Connect(WithFault(SimFault::ErrorCode, CmdReset, 1, 8));
    bool reset = false;
    EXPECT_EQ(Printed([&] { reset = ResetTarget(); }), "  Reset successful, closing COM port.\n");
    EXPECT_TRUE(reset);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(Port.State(), 0);
}

TEST_F(TargetErrorsTest, UnansweredResetKeepsThePortOpen)
{
    Connect(WithFault(SimFault::DropReply, CmdReset, -1));
    bool reset = true;
    EXPECT_EQ(Printed([&] { reset = ResetTarget(); }), "  No response from target.\n");
    EXPECT_FALSE(reset);
    EXPECT_EQ(LastError(), 2);
    EXPECT_EQ(Port.State(), 2);
}

TEST_F(PtyTargetTest, ErrorStatusWithoutPayloadIsAnUnknownErrorCode)
{
    line.Answer([](const std::string &) { return FrameOf(1, ""); });
    bool blank = true;
    EXPECT_EQ(Printed([&] { blank = BlankCheck(2u); }),
              "  ERR:  Operation failed with the following error:\n        Unknown Error Code.\n");
    EXPECT_FALSE(blank);
    EXPECT_EQ(LastError(), 6);
}
