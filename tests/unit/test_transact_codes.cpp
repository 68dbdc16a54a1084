#include <gtest/gtest.h>

#include <string>

#include "targetlib/capture.h"
#include "targetlib/transact.h"

namespace {

struct ErrorRow {
    unsigned char code;
    const char *text;
    int lastErr;
};

const ErrorRow kTable[] = {
    {1, "Can't decrypt packet payload", 6},
    {2, "Bad flash program block length", 6},
    {3, "Flash write error", 6},
    {4, "Flash verify error", 6},
    {5, "Flash erase error", 6},
    {6, "Invalid flash region", 6},
    {7, "Flash not blank", 7},
    {8, "Unknown command", 6},
    {9, "Unknown field", 6},
    {10, "No string data", 8},
    {11, "Internal error", 6},
    {0, "Unknown Error Code", 6},
    {12, "Unknown Error Code", 6},
    {128, "Unknown Error Code", 6},
    {255, "Unknown Error Code", 6},
};

// Runs ClassifyReply and returns what it printed.
std::string Classify(bool ok, unsigned char status, const std::string &payload, bool &result)
{
    testing::internal::CaptureStdout();
    result = ClassifyReply(ok, status, payload);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(TargetErrorString, GivesEachCodesTextAndSetsTheLastError)
{
    for (const ErrorRow &row : kTable) {
        EXPECT_EQ(GetTargetErrorString(row.code), row.text) << "code " << int(row.code);
        EXPECT_EQ(LastError(), row.lastErr) << "code " << int(row.code);
    }
}

TEST(ClassifyReply, StatusZeroSucceedsSilentlyWithLastErrorZero)
{
    GetTargetErrorString(7);  // leaves LastError 7 behind
    bool result = false;
    EXPECT_EQ(Classify(true, 0, "payload", result), "");
    EXPECT_TRUE(result);
    EXPECT_EQ(LastError(), 0);
}

TEST(ClassifyReply, MissingReplyPrintsTheGivenLineWithLastErrorTwo)
{
    bool result = true;
    EXPECT_EQ(Classify(false, 0, "", result), "  ERR:  No response from target.\n");
    EXPECT_FALSE(result);
    EXPECT_EQ(LastError(), 2);

    testing::internal::CaptureStdout();
    EXPECT_FALSE(ClassifyReply(false, 0, "", "ERR:  No response from target.\n"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERR:  No response from target.\n");
}

TEST(ClassifyReply, StatusOneNamesTheDeviceErrorFromTheFirstPayloadByte)
{
    bool result = true;
    EXPECT_EQ(Classify(true, 1, std::string("\x07\x33", 2), result),
              "  ERR:  Operation failed with the following error:\n        Flash not blank.\n");
    EXPECT_FALSE(result);
    EXPECT_EQ(LastError(), 7);

    EXPECT_EQ(Classify(true, 1, "\x0A", result),
              "  ERR:  Operation failed with the following error:\n        No string data.\n");
    EXPECT_EQ(LastError(), 8);
}

TEST(ClassifyReply, StatusOneWithEmptyPayloadIsAnUnknownErrorCode)
{
    bool result = true;
    EXPECT_EQ(Classify(true, 1, "", result),
              "  ERR:  Operation failed with the following error:\n        Unknown Error Code.\n");
    EXPECT_FALSE(result);
    EXPECT_EQ(LastError(), 6);
}

TEST(ClassifyReply, AnyOtherStatusIsUnexpectedWithLastErrorThree)
{
    for (unsigned char status : {2, 3, 0x81, 255}) {
        bool result = true;
        EXPECT_EQ(Classify(true, status, "\x01", result), "  ERR:  Unexpected response from target.\n");
        EXPECT_FALSE(result);
        EXPECT_EQ(LastError(), 3);
    }
}
