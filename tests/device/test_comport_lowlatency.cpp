// The driver's low-latency mode: a port whose driver knows none (a
// pseudo-terminal, like most UARTs) is left as it was.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

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
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    close(fd);
    close(master);
}
