// The latency timer of a port's USB serial adapter. An FTDI chip passes the
// bytes it receives on to the host only when 62 have gathered or its timer
// runs out (16 ms unless set otherwise), and every reply of the protocol is a
// few bytes: the timer is added to every command.
//   Linux: <sysfs>/class/tty/<name>/device/latency_timer (ftdi_sio).
//   Windows: the FTDI driver's LatencyTimer, beside the port's PortName under
//   HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\<device>\<instance>\Device Parameters.
#pragma once

#include <string>

struct AdapterTimer {
    std::string port;      // as given
    std::string location;  // Linux: the attribute's path; Windows: the registry key
    std::string tty;       // Linux: the port's tty name (ttyUSB0)
    std::string driver;    // Linux: the kernel driver (ftdi_sio); Windows: FTDI
    std::string deviceId;  // Windows: the device's id, e.g. FTDIBUS\VID_0403+PID_6001+A10KXA\0000
    int ms = 0;            // its value when last read; 0: the adapter has no timer that can be read
};

// The timer of the adapter behind `port` (`sysfsRoot`: Linux only).
AdapterTimer FindAdapterTimer(const std::string &port, const std::string &sysfsRoot);
// Its value now (the driver may show less while the port is open in its
// low-latency mode); 0 when it cannot be read.
int ReadAdapterTimer(const AdapterTimer &timer);
// Sets it to `ms`; false with the system's reason when that is refused.
// Windows never changes the driver's settings: false with an empty reason.
bool WriteAdapterTimer(const AdapterTimer &timer, int ms, std::string &error);
// How the user sets it to 1 ms, now and for good, in the platform's terms.
std::string AdapterTimerAdvice(const AdapterTimer &timer);
