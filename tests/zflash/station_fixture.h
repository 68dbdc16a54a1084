// A station's tests: simulated fixtures on ports kept open, the station's
// image, and the records read by port.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "targetlib/capture.h"
#include "tests/zflash/test_zflash_support.h"

namespace zftest {

inline const char *const kStationInfo = "VN:2.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-10-01 08:00\r\n";

inline bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

class ZflashStationTest : public ZflashDeviceTest {
protected:
    void SetUp() override
    {
        ZflashDeviceTest::SetUp();
        image = WriteImage(root / "station.bin", kStationInfo);
        log = (root / "station.jsonl").string();
        // A VKT-Q1 unit that comes to a VKT-3 station starts its flash
        // loader, and then is refused for the image.
        WriteImage(root / "flashloader" / "VKTQ1" / "flashloader.img", zftest::kLoaderInfo, 2000);
        WriteImage(root / "firmware" / "VKTQ1" / "vktq1_1_0_0.bin", "VN:1.0.0\r\nMD:VKT-Q1\r\nHW:VKTQ1\r\n");
    }

    // A unit that holds the station's image already, block for block.
    SimUnit Current(const std::string &name) const
    {
        std::unique_ptr<IMG> img(ReadImage(image.c_str()));
        auto flash = std::make_shared<std::string>();
        for (const BLK &b : img->blocks)
            *flash += b.data;
        SimUnit u;
        u.name = name;
        u.installedInfo = kStationInfo;
        u.flash = flash;
        return u;
    }
    static SimUnit Unit(const std::string &name, const std::string &installed = zftest::kInstalledInfo)
    {
        SimUnit u;
        u.name = name;
        u.installedInfo = installed;
        return u;
    }

    // A fixture whose operator swaps units as soon as the host is done.
    SimDevice &AddFixture(const std::vector<SimUnit> &units, const std::string &link = std::string())
    {
        SimOptions o = simOptions;
        o.units = units;
        o.swapper.enabled = true;
        o.swapper.quietMs = 1500;  // longer than any pause the host makes within a unit
        o.swapper.plugMinMs = 50;
        o.swapper.plugMaxMs = 150;
        o.linkPath = link;
        fixtures.emplace_back(new SimDevice(o));
        EXPECT_TRUE(fixtures.back()->Start());
        return *fixtures.back();
    }

    std::vector<nlohmann::json> RecordsOf(const std::string &port) const
    {
        std::vector<nlohmann::json> mine;
        for (const nlohmann::json &r : Records(log))
            if (r["port"] == port)
                mine.push_back(r);
        return mine;
    }

    std::string image, log;
    std::vector<std::unique_ptr<SimDevice>> fixtures;
};

}  // namespace zftest
