// --port's names and selectors, resolved on a made-up sysfs and /dev; the
// names and ids of ports as Windows gives them; zflash ports' listing.
#include <gtest/gtest.h>

#include "tests/support/fake_system.h"
#include "devicelink/ports/port_ids.h"
#include "devicelink/ports/port_select.h"
#include "devicelink/ports/ports.h"

namespace {

FakeAdapter Adapter(const std::string &vid, const std::string &pid, const std::string &serial)
{
    FakeAdapter a;
    a.vid = vid;
    a.pid = pid;
    a.serial = serial;
    return a;
}

// Three adapters: two CH340s (1a86:7523) and an FTDI chip (0403:6001).
class PortSelectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake.AddAdapter("ttyUSB10", "1-1", Adapter("1a86", "7523", "CH-B"));
        fake.AddAdapter("ttyUSB2", "1-2", Adapter("1a86", "7523", "ch-a"));
        fake.AddAdapter("ttyUSB0", "1-3", Adapter("0403", "6001", "A10KX"));
        byId = fake.AddById("usb-FTDI_FT232R_USB_UART_A10KX-if00-port0", "ttyUSB0").string();
    }

    std::vector<ResolvedPort> Resolve(const std::vector<std::string> &given)
    {
        std::vector<ResolvedPort> ports;
        error.clear();
        ok = ResolvePorts(given, fake.Roots(), ports, error);
        return ports;
    }

    std::vector<std::string> Names(const std::vector<ResolvedPort> &ports)
    {
        std::vector<std::string> names;
        for (const ResolvedPort &p : ports)
            names.push_back(p.port);
        return names;
    }

    std::string Dev(const std::string &tty) const { return fake.DevicePath(tty).string(); }

    FakeSystem fake;
    std::string byId, error;
    bool ok = false;
};

}  // namespace

TEST_F(PortSelectTest, ASelectorNamesEveryMatchingAdapterInNaturalOrderWithItsSerial)
{
    std::vector<ResolvedPort> ports = Resolve({"usb:1a86:7523"});
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(Names(ports), (std::vector<std::string>{Dev("ttyUSB2"), Dev("ttyUSB10")}));
    EXPECT_EQ(ports[0].adapterSerial, "ch-a");
    EXPECT_EQ(ports[1].adapterSerial, "CH-B");
}

TEST_F(PortSelectTest, ASelectorWithASerialNamesOneAdapterWhateverTheCaseOfIdsAndSerial)
{
    EXPECT_EQ(Names(Resolve({"usb:1A86:7523:CH-A"})), std::vector<std::string>{Dev("ttyUSB2")});
    EXPECT_EQ(Names(Resolve({"USB:0403:6001:a10kx"})), std::vector<std::string>{Dev("ttyUSB0")});
    EXPECT_TRUE(ok) << error;
}

TEST_F(PortSelectTest, PlainNamesAndStableLinksStayAsGivenAndGetTheirAdaptersSerial)
{
    std::vector<ResolvedPort> ports = Resolve({byId, Dev("ttyUSB2")});
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(Names(ports), (std::vector<std::string>{byId, Dev("ttyUSB2")}));
    EXPECT_EQ(ports[0].adapterSerial, "A10KX");
    EXPECT_EQ(ports[1].adapterSerial, "ch-a");
}

TEST_F(PortSelectTest, APortNamedTwiceByAnyOfItsNamesCountsOnce)
{
    EXPECT_EQ(Names(Resolve({byId, Dev("ttyUSB0"), "usb:0403:6001", byId})), std::vector<std::string>{byId});
    EXPECT_EQ(Names(Resolve({"usb:1a86:7523", Dev("ttyUSB10")})),
              (std::vector<std::string>{Dev("ttyUSB2"), Dev("ttyUSB10")}));
}

TEST_F(PortSelectTest, APortThatSysfsDoesNotKnowIsKeptWithoutASerial)
{
    std::vector<ResolvedPort> ports = Resolve({"/tmp/zsim-tty", "/tmp/zsim-tty"});
    ASSERT_TRUE(ok);
    ASSERT_EQ(Names(ports), std::vector<std::string>{"/tmp/zsim-tty"});
    EXPECT_EQ(ports[0].adapterSerial, "");
}

TEST_F(PortSelectTest, ASelectorThatMatchesNothingIsAnErrorThatPointsToThePortList)
{
    Resolve({Dev("ttyUSB0"), "usb:1a86:7523:NOPE"});
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "no USB serial adapter matches usb:1a86:7523:NOPE. Run \"zflash ports\" to list the adapters.");
}

TEST_F(PortSelectTest, MalformedSelectorsAreRefusedWithTheirForm)
{
    for (const char *bad : {"usb:", "usb:1a86", "usb:1a86:", "usb:1a8:7523", "usb:1a86:75234", "usb:xyzw:7523",
                            "usb:1a86:7523:"}) {
        Resolve({bad});
        EXPECT_FALSE(ok) << bad;
        EXPECT_EQ(error, std::string("\"") + bad +
                             "\" is not a port selector: write usb:VID:PID or usb:VID:PID:SERIAL, with four hex "
                             "digits each for VID and PID (zflash ports shows them).")
            << bad;
    }
}

TEST(UsbSelector, TheSerialIsTheRestColonsAndAll)
{
    UsbSelector s;
    std::string error;
    ASSERT_TRUE(ParseUsbSelector("usb:0403:6001:AB:CD", s, error));
    EXPECT_EQ(s.usbId, "0403:6001");
    EXPECT_EQ(s.serial, "AB:CD");
    EXPECT_TRUE(SelectorMatches(s, "0403:6001", "ab:cd"));
    EXPECT_FALSE(SelectorMatches(s, "0403:6001", "AB"));
    EXPECT_FALSE(SelectorMatches(s, "0403:6015", "AB:CD"));
    EXPECT_FALSE(IsUsbSelector("/dev/ttyUSB0"));
    EXPECT_FALSE(IsUsbSelector("us"));
}

TEST(WindowsInstanceId, GivesVendorProductAndTheSerialWhereTheIdHoldsOne)
{
    struct Case {
        const char *id, *usbId, *serial;
    } cases[] = {
        {"USB\\VID_0403&PID_6001\\A10KXABC", "0403:6001", "A10KXABC"},
        {"FTDIBUS\\VID_0403+PID_6001+A10KXABCA\\0000", "0403:6001", "A10KXABC"},
        {"FTDIBUS\\VID_0403+PID_6010+FT4XYZB\\0000", "0403:6010", "FT4XYZ"},
        {"USB\\VID_1A86&PID_7523\\5&2A1B3C4D&0&2", "1a86:7523", ""},
        {"USB\\VID_2E8A&PID_000A&MI_00\\6&1A2B3C&0&0000", "2e8a:000a", ""},
    };
    for (const Case &c : cases) {
        std::string usbId, serial = "stale";
        ASSERT_TRUE(ParseInstanceId(c.id, usbId, serial)) << c.id;
        EXPECT_EQ(usbId, c.usbId) << c.id;
        EXPECT_EQ(serial, c.serial) << c.id;
    }
    std::string usbId, serial;
    EXPECT_FALSE(ParseInstanceId("ACPI\\PNP0501\\1", usbId, serial));
    EXPECT_FALSE(ParseInstanceId("USB\\VID_04&PID_6001\\X", usbId, serial));
}

TEST(WindowsInstanceId, ComNamesCompareInUpperCaseWithoutTheDevicePrefix)
{
    EXPECT_EQ(ComPortName("\\\\.\\com12"), "COM12");
    EXPECT_EQ(ComPortName("Com3"), "COM3");
}

TEST(PortList, ListsBoardUartsAndEachAdaptersByIdNameAndLatencyTimer)
{
    FakeSystem fake;
    fake.AddAdapter("ttyUSB0", "1-1", FakeAdapter());
    FakeAdapter acm = Adapter("2e8a", "000a", "");
    acm.driver = "cdc_acm";
    acm.timerMs = 0;
    fake.AddAdapter("ttyACM0", "1-2", acm);
    const std::string byId = fake.AddById("usb-FTDI_FT232R_USB_UART_A10KX-if00-port0", "ttyUSB0").string();
    for (const char *uart : {"ttyAMA0", "ttymxc1"}) {
        const std::filesystem::path device = fake.Sys() / "devices" / "platform" / uart;
        std::filesystem::create_directories(fake.Sys() / "bus" / "amba" / "drivers" / "uart-pl011");
        FakeSystem::Write(device / "uevent", "");
        std::filesystem::create_symlink(fake.Sys() / "bus" / "amba" / "drivers" / "uart-pl011", device / "driver");
        fake.AddTtyEntry(uart, device);
    }

    const std::vector<SerialPortInfo> ports = ListSerialPorts(fake.Roots());
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].port, fake.DevicePath("ttyACM0").string());
    EXPECT_EQ(ports[0].latencyTimerMs, 0);
    EXPECT_EQ(ports[0].byId, "");
    EXPECT_EQ(ports[1].port, fake.DevicePath("ttyAMA0").string());
    EXPECT_EQ(ports[2].port, fake.DevicePath("ttyUSB0").string());
    EXPECT_EQ(ports[2].driver, "ftdi_sio");
    EXPECT_EQ(ports[2].latencyTimerMs, 16);
    EXPECT_EQ(ports[2].byId, byId);
    EXPECT_EQ(ports[3].port, fake.DevicePath("ttymxc1").string());
    EXPECT_EQ(ports[3].driver, "uart-pl011");
}
