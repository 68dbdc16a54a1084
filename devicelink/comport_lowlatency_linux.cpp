#include "devicelink/comport_lowlatency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

bool SerialLowLatencyOn(int fd, int &oldFlags)
{
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0)
        return false;
    oldFlags = serial.flags;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

void SerialLowLatencyRestore(int fd, int oldFlags)
{
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return;
    serial.flags = (serial.flags & ~ASYNC_LOW_LATENCY) | (oldFlags & ASYNC_LOW_LATENCY);
    ioctl(fd, TIOCSSERIAL, &serial);
}
