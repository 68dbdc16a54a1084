// ComPort's receive buffer on a Wine COM port (ZF_TEST_COM, the simulated
// device announcing itself): the driver's input count and the order of
// bytes served from the buffer. Without ZF_TEST_COM the tests are skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "devicelink/comport.h"

namespace {

const std::string kAnnounce = "Zelvo Boot Loader";

class WineRxBuffer : public testing::Test {
protected:
    void SetUp() override
    {
        const char *com = std::getenv("ZF_TEST_COM");
        if (!com || !*com)
            GTEST_SKIP() << "ZF_TEST_COM is not set";
        ASSERT_EQ(port.Init(com, 10), 0);
        ASSERT_EQ(port.Open(), 0);
    }

    // Waits (up to 3 s) until the port holds at least n received bytes.
    bool Holds(int n)
    {
        for (int i = 0; i < 300 && port.RxBytes() < n; i++)
            Sleep(10);
        return port.RxBytes() >= n;
    }

    ComPort port;
};

}  // namespace

TEST_F(WineRxBuffer, RxBytesSeesTheAnnouncementBeforeAnythingIsRead)
{
    ASSERT_TRUE(Holds(int(kAnnounce.size())));
    EXPECT_EQ(port.RxCount(), 0u);
}

TEST_F(WineRxBuffer, GetCharAndGetNCharsTakeBufferedBytesInOrder)
{
    // To the start of an announcement. The port may open between two of them,
    // when the line is quiet for longer than GetChar's 10 ms: a time-out (1)
    // there only means that the next one has not begun yet.
    unsigned char c = 0;
    for (int i = 0; i < 300 && c != 'Z'; i++) {
        const int got = port.GetChar(&c);
        ASSERT_TRUE(got == 0 || got == 1) << got;
        if (got != 0)
            c = 0;
    }
    ASSERT_EQ(c, 'Z');
    ASSERT_TRUE(Holds(int(kAnnounce.size()) - 1));
    std::string got(1, char(c));
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(port.GetChar(&c), 0);
        got += char(c);
    }
    unsigned char rest[13] = {};
    int n = port.GetNChars(13, rest);
    ASSERT_EQ(n, 13);
    got.append(reinterpret_cast<char *>(rest), 13);
    EXPECT_EQ(got, kAnnounce);
}
