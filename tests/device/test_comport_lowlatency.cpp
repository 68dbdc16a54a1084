// The driver's low-latency mode: a port whose driver knows none (a
// pseudo-terminal, like most UARTs) is left as it was.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>


#include <gtest/gtest.h>

#include "devicelink/comport_lowlatency.h"

TEST(LowLatencyMode, ADriverWithoutItRefusesAndThePortsSettingsStay)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int fd = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios before{}, after{};
    ASSERT_EQ(tcgetattr(fd, &before), 0);
    int oldFlags = -1;
    EXPECT_FALSE(SerialLowLatencyOn(fd, oldFlags));
    EXPECT_EQ(oldFlags, -1);
    ASSERT_EQ(tcgetattr(fd, &after), 0);
    EXPECT_EQ(before.c_iflag, after.c_iflag);
    EXPECT_EQ(before.c_oflag, after.c_oflag);
    EXPECT_EQ(before.c_cflag, after.c_cflag);
    EXPECT_EQ(before.c_lflag, after.c_lflag);
    EXPECT_EQ(cfgetispeed(&before), cfgetispeed(&after));
    EXPECT_EQ(cfgetospeed(&before), cfgetospeed(&after));
    close(fd);
    close(master);
}
