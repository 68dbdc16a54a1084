// The target library's trace goes to a replaceable handler, and the last
// failure's own words stay readable beside its code.
#include <gtest/gtest.h>

#include <string>

#include "targetlib/capture.h"

namespace {

std::string received;
void Collect(const char *text) { received += text; }

class TraceHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        received.clear();
        SetTraceHandler(Collect);
    }
    void TearDown() override { SetTraceHandler(nullptr); }
};

TEST_F(TraceHandlerTest, TheHandlerGetsTheTraceInsteadOfStandardOutput)
{
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Query("HW").empty());
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("  ERR:  Can't query.  COM port not open.\n", received);
}

TEST_F(TraceHandlerTest, NullPutsStandardOutputBack)
{
    SetTraceHandler(nullptr);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(EraseFlash(2));
    EXPECT_EQ("  ERR:  Can't communicate with target.  COM port not open.\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ("", received);
}

TEST_F(TraceHandlerTest, TheLastErrorTextIsTheFailuresFirstErrLineWithoutItsMarks)
{
    EXPECT_EQ(nullptr, ReadImage("/nonexistent/zf_image.bin"));
    EXPECT_EQ(ErrImage, LastError());
    EXPECT_EQ("Unable to open image file </nonexistent/zf_image.bin>", LastErrorText());
    EXPECT_EQ(-1, LastDeviceError());
    EXPECT_EQ(-1, LastErrorBlock());

    IMG image;
    EXPECT_FALSE(ProgramFlash(&image));
    EXPECT_EQ("Can't program flash. COM port not open.", LastErrorText());
}

TEST_F(TraceHandlerTest, AnOperationStartsWithoutTheLastOnesText)
{
    EXPECT_FALSE(ResetTarget());
    ASSERT_FALSE(LastErrorText().empty());
    EXPECT_TRUE(ClosePort());  // the port was never open: nothing to fail
    EXPECT_EQ(ErrNone, LastError());
    EXPECT_EQ("", LastErrorText());
}

// An information text longer than any fixed buffer reaches the handler whole.
TEST_F(TraceHandlerTest, LongTextsArriveWhole)
{
    EXPECT_FALSE(OpenPort(std::string(2000, 'p').c_str()));
    EXPECT_NE(std::string::npos, received.find("  Opening port " + std::string(2000, 'p') + "\n"));
}

}  // namespace
