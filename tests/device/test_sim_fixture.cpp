// The simulated fixture seen from the host through the target library, on
// one port that stays open: a stream of units captured, identified and
// programmed or verified; a unit taken out answers nothing; a unit re-seated
// or plugged in again reports the firmware it was given; the operator swaps
// units once the host is done with them; the counters of it all.
#include <gtest/gtest.h>

#include <mutex>

#include "targetlib/transact.h"
#include "tests/support/target_harness.h"

namespace {

const std::string kCurrentInfo = "VN:2.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-03-01 12:00\r\n";
const std::string kQ1Info = "VN:1.1.0\r\nMD:VKT-Q1\r\nHW:VKTQ1\r\n";

// The station's image: four blocks, the first beginning with its information text.
IMG Firmware()
{
    IMG img;
    img.address = 0x08004000;
    img.info = kCurrentInfo;
    std::string bytes = kCurrentInfo + '\0';
    for (int i = 0; bytes.size() < 2000; i++)
        bytes.push_back(char(i * 13));
    img.blocks = SplitIntoBlocks(bytes, 512);
    return img;
}

std::string FirmwareBytes()
{
    std::string bytes;
    for (const BLK &b : Firmware().blocks)
        bytes += b.data;
    return bytes;
}

SimUnit Unit(const std::string &hw, const std::string &info, const std::string &name = std::string())
{
    SimUnit u;
    u.name = name;
    u.hw = hw;
    u.installedInfo = info;
    return u;
}

SimUnit CurrentUnit()
{
    SimUnit u = Unit("VKT3K", kCurrentInfo);
    u.flash = std::make_shared<const std::string>(FirmwareBytes());
    return u;
}

// Quick announcements and erases; the units in line.
SimOptions Fast(std::vector<SimUnit> units)
{
    SimOptions o;
    o.announceGapMs = 10;
    o.eraseMs = 1;
    o.units = std::move(units);
    return o;
}

// What the station did with one unit.
struct Visit {
    std::string hw, before;  // its answers to Query("HW") and GetInfo(2)
    bool programmed = false, verified = false;
};

// A station on the library's open port.
class FixtureTest : public SimTargetTest {
protected:
    void Open(const SimOptions &options)
    {
        StartSim(options);
        bool opened = false;
        Printed([&] { opened = OpenPort(sim->PortPath().c_str()); });
        ASSERT_TRUE(opened);
    }

    // One unit as a station serves it: waits for its power-up at 115200,
    // captures it and asks who it is; a VKT3K unit gets the flash loader and
    // is programmed, unless it holds the current firmware, then verified.
    Visit Serve()
    {
        Visit v;
        Printed([&] {
            Port.SetBaudRate(115200);
            if (StepCapture(10000) != 5)
                return;
            v.hw = Query("HW");
            IMG loader = LoaderImage(921600);
            if (v.hw != "VKT3K" || !RAMExec(&loader, false, 921600))
                return;
            v.before = GetInfo(2);
            IMG firmware = Firmware();
            if (v.before != kCurrentInfo)
                v.programmed = (BlankCheck(2u) || EraseFlash(2)) && ProgramFlash(&firmware);
            v.verified = VerifyFlash(&firmware);
        });
        return v;
    }
};

}  // namespace

TEST_F(FixtureTest, UnitsOneAfterAnotherAreServedOnOnePortThatStaysOpen)
{
    const struct {
        SimUnit unit;
        std::string before;  // what GetInfo(2) answers first
        bool programmed;
        unsigned programPasses, verifyPasses;
    } rows[] = {
        {Unit("VKT3K", kSimDefaultInfo), kSimDefaultInfo, true, 1, 1},
        {CurrentUnit(), kCurrentInfo, false, 0, 1},
        {Unit("VKT3K", ""), "", true, 1, 1},
        {Unit("VKTQ1", kQ1Info), "", false, 0, 0},  // other hardware: not served
    };
    SimOptions options = Fast({});
    for (const auto &row : rows)
        options.units.push_back(row.unit);
    Open(options);

    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const Visit v = Serve();
        EXPECT_EQ(v.hw, rows[i].unit.hw);
        EXPECT_EQ(v.before, rows[i].before);
        EXPECT_EQ(v.programmed, rows[i].programmed);
        EXPECT_EQ(v.verified, rows[i].unit.hw == "VKT3K");
        sim->SwapUnit(0);
    }

    const SimFixtureStats f = sim->Fixture();
    EXPECT_EQ(f.plugged, 4u);
    EXPECT_EQ(f.takenOut, 4u);
    EXPECT_EQ(f.current, -1);
    EXPECT_EQ(f.UnitsProgrammed(), 2u);
    EXPECT_EQ(f.VerifyPasses(), 3u);
    ASSERT_EQ(f.units.size(), 4u);
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(f.units[i].name, "#" + std::to_string(i + 1));
        EXPECT_EQ(f.units[i].powerUps, 1u);
        EXPECT_EQ(f.units[i].captures, 1u);
        EXPECT_EQ(f.units[i].programPasses, rows[i].programPasses);
        EXPECT_EQ(f.units[i].verifyPasses, rows[i].verifyPasses);
        EXPECT_GT(f.units[i].servedMs, 0u);
        EXPECT_EQ(f.units[i].installedInfo, rows[i].unit.hw == "VKT3K" ? kCurrentInfo : kQ1Info);
    }
    EXPECT_EQ(Port.State(), 2) << "the port is still open";
}

TEST_F(FixtureTest, AUnitBackInTheFixtureHoldsTheFirmwareItWasGiven)
{
    // Re-seated where it is, re-seated after a pause out, or plugged in
    // again by name after another unit.
    const std::function<void(SimDevice &)> returns[] = {
        [](SimDevice &s) { s.Reseat(); },
        [](SimDevice &s) {
            s.TakeOutUnit();
            s.Reseat();
        },
        [](SimDevice &s) {
            s.PlugIn(Unit("VKT3W", ""));
            s.PlugIn(Unit("VKT3K", "ignored: A is known", "A"));
        },
    };
    for (const auto &back : returns) {
        Open(Fast({Unit("VKT3K", kSimDefaultInfo, "A")}));
        ASSERT_TRUE(Serve().programmed);
        back(*sim);
        const Visit again = Serve();
        EXPECT_EQ(again.before, kCurrentInfo);
        EXPECT_FALSE(again.programmed);
        EXPECT_TRUE(again.verified);
        const SimUnitRecord a = sim->Fixture().units[0];
        EXPECT_EQ(a.name, "A");
        EXPECT_EQ(a.powerUps, 2u);
        EXPECT_EQ(a.programPasses, 1u);
        EXPECT_EQ(a.verifyPasses, 2u);
        TearDown();
    }
}

TEST_F(FixtureTest, AUnitTakenOutAnswersNothingAndTheNextAnnouncesAt115200)
{
    Open(Fast({Unit("VKT3K", kSimDefaultInfo), Unit("VKT3W", "")}));
    ASSERT_EQ(Serve().hw, "VKT3K");
    sim->TakeOutUnit();
    std::string hw = "unchanged";
    Printed([&] { hw = Query("HW"); });
    EXPECT_EQ(hw, "");
    EXPECT_EQ(LastError(), 2);
    EXPECT_GT(sim->Fixture().bytesWhileEmpty, 0u);
    EXPECT_FALSE(sim->Captured());

    ASSERT_TRUE(sim->PlugInNext());
    EXPECT_EQ(Serve().hw, "VKT3W");
    EXPECT_FALSE(sim->PlugInNext()) << "no third unit in line";
}

// A unit pulled while it erases stops there: the next unit is in and
// announcing long before that erase would have ended.
TEST_F(FixtureTest, AUnitTakenOutInTheMiddleOfAnEraseStopsAtOnce)
{
    SimOptions options = Fast({Unit("VKT3K", kSimDefaultInfo), Unit("VKT3K", "")});
    options.eraseMs = 600000;
    Open(options);
    Printed([&] {
        ASSERT_EQ(StepCapture(10000), 5);
        IMG loader = LoaderImage(115200);
        ASSERT_TRUE(RAMExec(&loader, false, 115200));
        const std::string erase = FrameOf(CmdErase, std::string(1, '\x02'));
        Port.PutArray(reinterpret_cast<const unsigned char *>(erase.data()), int(erase.size()));
    });
    ASSERT_TRUE(Eventually([&] {
        const std::vector<int> commands = sim->Stats().commands;
        return !commands.empty() && commands.back() == CmdErase;
    }));
    sim->SwapUnit(0);
    Printed([&] { EXPECT_EQ(StepCapture(10000), 5); });
    EXPECT_EQ(sim->Fixture().current, 1);
}

TEST_F(FixtureTest, AWeakBlockFailsVerifyUntilTheRegionIsProgrammedAgain)
{
    SimUnit weak = Unit("VKT3K", kSimDefaultInfo);
    weak.weakBlock = 2;
    Open(Fast({weak}));
    const Visit first = Serve();
    EXPECT_TRUE(first.programmed);
    EXPECT_FALSE(first.verified);
    EXPECT_EQ(LastErrorBlock(), 2);
    EXPECT_EQ(LastDeviceError(), 4);
    IMG firmware = Firmware();
    bool again = false;
    Printed([&] { again = EraseFlash(2) && ProgramFlash(&firmware) && VerifyFlash(&firmware); });
    EXPECT_TRUE(again);
    EXPECT_EQ(sim->FlashContents(), FirmwareBytes());
    const SimUnitRecord r = sim->Fixture().units[0];
    EXPECT_EQ(r.programPasses, 2u) << "programmed twice: detectable";
    EXPECT_EQ(r.verifyFailures, 1u);
}

TEST_F(FixtureTest, AUnitsOwnFaultsMeetOnlyThatUnit)
{
    SimUnit deaf = Unit("VKT3K", kSimDefaultInfo);
    deaf.faults.push_back({SimFault::CloseLine, CmdQuery, 0, 1, 0});
    Open(Fast({deaf, Unit("VKT3K", kSimDefaultInfo)}));
    EXPECT_EQ(Serve().hw, "");
    sim->SwapUnit(0);
    EXPECT_EQ(Serve().hw, "VKT3K");
}

// The operator takes each unit out once the host has been quiet after
// capturing it (an erase longer than that does not count as quiet), and
// plugs the next in after a drawn pause.
TEST_F(FixtureTest, TheOperatorSwapsEachUnitOnceTheHostIsDone)
{
    SimOptions options = Fast({Unit("VKT3K", kSimDefaultInfo), CurrentUnit(), Unit("VKT3K", "")});
    options.swapper.enabled = true;
    options.swapper.quietMs = 250;
    options.swapper.plugMinMs = 5;
    options.swapper.plugMaxMs = 30;
    options.eraseMs = 400;
    std::mutex seenLock;
    std::vector<std::pair<SimFixtureEvent::Kind, int>> seen;
    sim = std::make_unique<SimDevice>(options);
    sim->OnFixtureEvent([&](const SimFixtureEvent &e) {
        std::lock_guard<std::mutex> lk(seenLock);
        seen.emplace_back(e.kind, e.unit);
    });
    ASSERT_TRUE(sim->Start());
    Printed([&] { ASSERT_TRUE(OpenPort(sim->PortPath().c_str())); });

    for (int i = 0; i < 3; ++i) {
        const Visit v = Serve();
        EXPECT_TRUE(v.verified) << i;
    }
    ASSERT_TRUE(Eventually([&] { return sim->Fixture().takenOut == 3; }));
    const SimFixtureStats f = sim->Fixture();
    EXPECT_EQ(f.plugged, 3u);
    EXPECT_EQ(f.UnitsProgrammed(), 2u);
    for (const SimUnitRecord &u : f.units)
        EXPECT_EQ(u.captures, 1u) << u.name;
    using E = SimFixtureEvent;
    const std::vector<std::pair<E::Kind, int>> expected = {
        {E::PluggedIn, 0}, {E::TakenOut, 0}, {E::PluggedIn, 1}, {E::TakenOut, 1},
        {E::PluggedIn, 2}, {E::TakenOut, 2}, {E::StreamEnded, 2}};
    std::lock_guard<std::mutex> lk(seenLock);
    EXPECT_EQ(seen, expected);
}
