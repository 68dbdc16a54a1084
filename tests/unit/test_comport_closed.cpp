// A ComPort that is not open has received nothing and reads nothing, whether
// it was never initialised or only initialised.
#include <gtest/gtest.h>

#include "devicelink/comport.h"

TEST(ComPortNotOpen, HoldsNoReceivedBytesAndReadsNone)
{
    ComPort port;
    unsigned char c = 0x5A, buf[4] = {};
    for (int round = 0; round < 2; round++) {
        EXPECT_EQ(port.RxBytes(), 0);
        EXPECT_EQ(port.GetChar(&c), 1);
        EXPECT_EQ(port.GetNChars(4, buf), -1);
        ASSERT_EQ(port.Init("ZF_NO_SUCH_PORT", 10), round == 0 ? 0 : 1);
    }
    EXPECT_EQ(c, 0x5A);
    EXPECT_EQ(port.RxCount(), 0u);
}
