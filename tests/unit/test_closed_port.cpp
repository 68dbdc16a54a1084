#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "targetlib/capture.h"
#include "targetlib/version.h"

namespace {

#ifdef _WIN32
const char kNoSuchPort[] = "ZF_NO_SUCH_PORT";
#else
const char kNoSuchPort[] = "/nonexistent/ttyZF0";
#endif

std::string Printed(const std::function<void()> &op)
{
    testing::internal::CaptureStdout();
    op();
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(ClosedPort, EveryDeviceOperationIsRefusedWithItsOwnLine)
{
    IMG img;
    img.blocks.push_back(BLK{0, 1, "x"});
    struct Case {
        const char *line;
        std::function<bool()> op;
    } cases[] = {
        {"  ERR:  Can't query.  COM port not open.\n", [] { return !Query("HW").empty(); }},
        {"  ERR:  Can't get info.  COM port not open.\n", [] { return !GetInfo(2).empty(); }},
        {"  ERR:  Can't reset.  COM port not open.\n", [] { return ResetTarget(); }},
        {"  ERR:  Can't execute RAM image.  COM port not open.\n", [&] { return RAMExec(&img, false, 921600); }},
        {"  ERR:  Can't communicate with target.  COM port not open.\n", [] { return BlankCheck(2u); }},
        {"  ERR:  Can't communicate with target.  COM port not open.\n", [] { return BlankCheck(0x8000ul, 4096ul); }},
        {"  ERR:  Can't communicate with target.  COM port not open.\n", [] { return EraseFlash(2); }},
        {"  ERR:  Can't program flash.  COM port not open.\n", [&] { return ProgramFlash(&img); }},
        {"  ERR:  Can't verify flash.  COM port not open.\n", [&] { return VerifyFlash(&img); }},
        {"  ERR:  Can't capture.  COM port not open.\n", [] { return CaptureTarget(); }},
    };
    for (const Case &c : cases) {
        bool result = true;
        EXPECT_EQ(Printed([&] { result = c.op(); }), c.line);
        EXPECT_FALSE(result) << c.line;
        EXPECT_EQ(LastError(), 1) << c.line;
    }
}

TEST(ClosedPort, CaptureStepReportsStateZero)
{
    int state = -1;
    EXPECT_EQ(Printed([&] { state = CaptureTargetSM(1); }), "  ERR:  Can't capture.  COM port not open.\n");
    EXPECT_EQ(state, 0);
    EXPECT_EQ(LastError(), 1);
}

TEST(ClosedPort, ClosingWithNothingOpenSucceeds)
{
    bool result = false;
    EXPECT_EQ(Printed([&] { result = ClosePort(); }), "  Closing port\n");
    EXPECT_TRUE(result);
    EXPECT_EQ(LastError(), 0);
}

TEST(ClosedPort, OpeningAMissingDeviceFailsWithLastErrorOne)
{
    bool result = true;
    EXPECT_EQ(Printed([&] { result = OpenPort(kNoSuchPort); }),
              std::string("  Opening port ") + kNoSuchPort + "\n    ERR:  Port open failed.\n");
    EXPECT_FALSE(result);
    EXPECT_EQ(LastError(), 1);
    // Left uninitialised: the next operation is refused as before.
    EXPECT_EQ(Printed([] { Query("HW"); }), "  ERR:  Can't query.  COM port not open.\n");
}

TEST(LibraryInterface, VersionIsOnePointZero)
{
    EXPECT_EQ(Version(), "1.0");
    EXPECT_STREQ(FlashUtilVersion, "1.0");
}

TEST(LibraryInterface, HelpListsTheInterface)
{
    EXPECT_EQ(Printed(help),
              "  void help(void);\n"
              "  str  Version(void);\n"
              "\n"
              "  bool OpenPort(const char *devName);\n"
              "  bool ClosePort(void);\n"
              "  bool CaptureTarget(const char *devName);\n"
              "  IMG *ReadImage(char *fname);\n"
              "\n"
              "  bool ResetTarget(void);\n"
              "  str  Query(char *name);\n"
              "  str  GetInfo(unsigned int region);\n"
              "  bool RAMExec(IMG *ip, bool hup=true, unsigned long baud=115200);\n"
              "\n"
              "  bool BlankCheck(unsigned int region);\n"
              "  bool BlankCheck(unsigned long start_addr, unsigned long bytes);\n"
              "  bool EraseFlash(unsigned int region);\n"
              "  bool ProgramFlash(IMG *ip);\n"
              "  bool VerifyFlash(IMG *ip);\n"
              "\n");
}
