// An FTDI adapter's latency timer as the FTDI driver keeps it in the
// registry, beside the port's PortName: a device key made for the test for
// the COM port that Wine maps to the simulated device (ZF_TEST_COM), and
// removed again. Without ZF_TEST_COM every test here is skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "devicelink/ports/adapter_timer.h"
#include "devicelink/ports/adapter_tuning.h"
#include "station/adapter_session.h"
#include "devicelink/ports/ports.h"

namespace {

const char kBus[] = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
const char kDevice[] = "VID_0403+PID_6001+ZFTEST1A";

class WineFtdiRegistry : public testing::Test {
protected:
    void SetUp() override
    {
        const char *com = std::getenv("ZF_TEST_COM");
        if (!com || !*com)
            GTEST_SKIP() << "ZF_TEST_COM is not set";
        port = com;
        const std::string params = std::string(kBus) + "\\" + kDevice + "\\0000\\Device Parameters";
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, params.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        const DWORD latency = 16;
        RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE *>(port.c_str()),
                       DWORD(port.size()) + 1);
        RegSetValueExA(key, "LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&latency), sizeof latency);
        RegCloseKey(key);
    }
    void TearDown() override
    {
        if (!IsSkipped())
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kBus) + "\\" + kDevice).c_str());
    }

    std::string port;
};

}  // namespace

TEST_F(WineFtdiRegistry, FindsTheLatencyTimerBesideThePortsName)
{
    const AdapterTimer timer = FindAdapterTimer(port, std::string());
    EXPECT_EQ(timer.ms, 16);
    EXPECT_EQ(timer.driver, "FTDI");
    EXPECT_EQ(timer.deviceId, std::string("FTDIBUS\\") + kDevice + "\\0000");
    EXPECT_EQ(timer.location, std::string("HKLM\\") + kBus + "\\" + kDevice + "\\0000\\Device Parameters");
    EXPECT_EQ(FindAdapterTimer("\\\\.\\" + port, std::string()).ms, 16);  // any spelling of the name
    EXPECT_EQ(FindAdapterTimer("COM199", std::string()).ms, 0);
}

TEST_F(WineFtdiRegistry, IsNeverChangedAndTheWarningSaysWhereTheUserChangesIt)
{
    AdapterTuning tuning;
    tuning.Begin(port, std::string());
    EXPECT_FALSE(tuning.Lowered());
    EXPECT_EQ(ReadAdapterTimer(tuning.Timer()), 16);
    const std::string text = SlowAdapterWarning(tuning.Timer(), 921600, tuning.Refusal());
    EXPECT_EQ(text.find("the USB serial adapter of " + port + " (FTDI) passes received bytes on only every 16 ms"),
              0u)
        << text;
    EXPECT_NE(text.find("Device Manager, Ports (COM & LPT), the adapter's port (" + port +
                        "), Properties, Port Settings, Advanced..., Latency Timer (msec): 1"),
              std::string::npos)
        << text;
}

TEST_F(WineFtdiRegistry, ThePortListShowsTheAdaptersIdsAndTimer)
{
    bool listed = false;
    for (const SerialPortInfo &p : ListSerialPorts(PortRoots())) {
        if (p.port != port)
            continue;
        listed = true;
        EXPECT_EQ(p.usbId, "0403:6001");
        EXPECT_EQ(p.serial, "ZFTEST1");
        EXPECT_EQ(p.latencyTimerMs, 16);
    }
    EXPECT_TRUE(listed);
}
