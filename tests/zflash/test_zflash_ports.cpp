// zflash ports on a sysfs tree made for the test.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/zflash/test_zflash_support.h"

namespace fs = std::filesystem;

namespace {

class ZflashPortsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sys = fs::temp_directory_path() / ("zf_sysfs_" + std::to_string(getpid()));
        fs::remove_all(sys);
        fs::create_directories(sys / "class" / "tty");
    }
    void TearDown() override { fs::remove_all(sys); }

    void Write(const fs::path &file, const std::string &text)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }

    // class/tty/<name>/device -> <deviceDir>, whose driver -> bus/<bus>/drivers/<driver>.
    void AddTty(const std::string &name, const fs::path &deviceDir, const std::string &driver)
    {
        fs::path entry = sys / "class" / "tty" / name;
        fs::create_directories(entry);
        fs::create_directories(sys / deviceDir);
        fs::create_symlink(sys / deviceDir, entry / "device");
        if (driver.empty())
            return;
        fs::create_directories(sys / "bus" / "x" / "drivers" / driver);
        fs::create_symlink(sys / "bus" / "x" / "drivers" / driver, sys / deviceDir / "driver");
    }

    void AddUsbDevice(const fs::path &dir, const std::string &vid, const std::string &pid,
                      const std::string &maker, const std::string &product, const std::string &serial)
    {
        Write(sys / dir / "idVendor", vid);
        Write(sys / dir / "idProduct", pid);
        Write(sys / dir / "manufacturer", maker);
        Write(sys / dir / "product", product);
        if (!serial.empty())
            Write(sys / dir / "serial", serial);
    }

    ZflashRun Ports(bool json = false)
    {
        std::vector<std::string> args = {"ports", "--sysfs-root", sys.string()};
        if (json)
            args.insert(args.begin(), "--json");
        return RunZflash(args);
    }

    fs::path sys;
};

}  // namespace

TEST_F(ZflashPortsTest, ListsPortsWithADriverAndTheirUsbDescriptionInNaturalOrder)
{
    AddUsbDevice("devices/usb1/1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A10KX");
    AddTty("ttyUSB10", "devices/usb1/1-1/1-1:1.0/ttyUSB10", "ftdi_sio");
    AddUsbDevice("devices/usb1/1-2", "2e8a", "000a", "Zelvo", "Zelvo Link", "");
    AddTty("ttyUSB2", "devices/usb1/1-2/1-2:1.0/ttyUSB2", "ftdi_sio");
    AddTty("ttyACM0", "devices/usb1/1-2/1-2:1.1", "cdc_acm");
    AddTty("ttyS0", "devices/platform/serial8250/ttyS0", "serial8250");
    Write(sys / "class/tty/ttyS0/type", "4");

    ZflashRun run = Ports();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "/dev/ttyACM0  cdc_acm  Zelvo Link  [2e8a:000a]\n"
                       "/dev/ttyS0  serial8250\n"
                       "/dev/ttyUSB2  ftdi_sio  Zelvo Link  [2e8a:000a]\n"
                       "/dev/ttyUSB10  ftdi_sio  FTDI FT232R USB UART  [0403:6001]  serial A10KX\n");
}

TEST_F(ZflashPortsTest, LeavesOutTtysWithoutDriverUartsThatAreNotThereAndOtherTtys)
{
    AddTty("ttyS1", "devices/platform/serial8250/ttyS1", "serial8250");
    Write(sys / "class/tty/ttyS1/type", "0");
    AddTty("ttyS2", "devices/pnp0/00:05/ttyS2", "");
    AddTty("tty0", "devices/virtual/tty/tty0", "vt");
    AddTty("ttyACM1", "devices/usb1/1-3/1-3:1.0", "cdc_acm");

    ZflashRun run = Ports();
    EXPECT_EQ(run.out, "/dev/ttyACM1  cdc_acm\n");
}

TEST_F(ZflashPortsTest, SaysSoOnStandardErrorWhenThereIsNoPort)
{
    ZflashRun run = Ports();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "No serial ports found.\n");
}

TEST_F(ZflashPortsTest, JsonListsEachPortWithItsDetails)
{
    AddUsbDevice("devices/usb1/1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A10KX");
    AddTty("ttyUSB0", "devices/usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    nlohmann::json doc = nlohmann::json::parse(Ports(true).out);
    EXPECT_EQ(doc["ports"], nlohmann::json::parse(R"([{"port": "/dev/ttyUSB0", "driver": "ftdi_sio",
        "description": "FTDI FT232R USB UART", "usbId": "0403:6001", "serial": "A10KX",
        "byId": "", "latencyTimerMs": null}])"));
}
