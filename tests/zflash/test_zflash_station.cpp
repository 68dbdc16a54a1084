// zflash station against simulated fixtures: units taken one after another on
// ports kept open, each with exactly one record (checked against the schema by
// the fixture), none programmed twice by accident.
#include <signal.h>

#include <memory>
#include <sstream>

#include "targetlib/capture.h"
#include "tests/support/eventually.h"
#include "tests/zflash/station_fixture.h"
#include "tests/zflash/test_zflash_support.h"

using nlohmann::json;

using zftest::Contains;
using zftest::kStationInfo;
using zftest::ZflashStationTest;

TEST_F(ZflashStationTest, ThreePortsServeAMixOfUnitsEachWithOneRecord)
{
    SimUnit weak = Unit("weak");
    weak.weakBlock = 3;  // stored wrongly on its first pass only: the retry cures it
    SimUnit bad = Unit("bad");
    bad.verifyMismatchBlock = 2;  // for good
    SimUnit pulled = Unit("pulled");
    SimFault unplug;
    unplug.kind = SimFault::Unplug;
    unplug.command = 190;
    unplug.skip = 3;
    unplug.value = 300;  // back before the worker gives up on its reply: the line's hang-up tells it
    pulled.faults = {unplug};
    SimUnit other = Unit("other", "");
    other.hw = "VKTQ1";
    SimDevice &a = AddFixture({Unit("old"), Current("current"), Unit("blank", "")});
    SimDevice &b = AddFixture({other, weak, Unit("old2")});
    SimDevice &c = AddFixture({bad, pulled, Unit("old3")}, (root / "ttyC").string());

    const ZflashRun run = Zflash({"--log", log, "--progress", "plain", "station", "--image", image, "--count", "9",
                                  "--port", a.PortPath(), "--port", b.PortPath(), "--port", c.PortPath()});

    EXPECT_EQ(run.exitCode, 1) << run.err;
    const struct {
        SimDevice *fixture;
        std::vector<std::string> results;
        std::vector<int> attempts;
    } ports[] = {
        {&a, {"ok", "current", "ok"}, {1, 0, 1}},
        {&b, {"bad-input", "ok", "ok"}, {0, 2, 1}},
        {&c, {"failed", "interrupted", "ok"}, {2, 1, 1}},
    };
    for (const auto &p : ports) {
        SCOPED_TRACE(p.fixture->PortPath());
        const std::vector<json> records = RecordsOf(p.fixture->PortPath());
        ASSERT_EQ(records.size(), p.results.size());
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i]["result"], p.results[i]) << i;
            EXPECT_EQ(records[i]["attempts"], p.attempts[i]) << i;
        }
    }
    EXPECT_EQ(RecordsOf(b.PortPath())[0]["failure"]["kind"], "wrong-hardware");
    EXPECT_EQ(RecordsOf(c.PortPath())[0]["failure"]["kind"], "verify-mismatch");
    EXPECT_TRUE(Contains(RecordsOf(c.PortPath())[1]["failure"]["detail"], "was removed while the device was being written"));
    const auto passes = [](const SimDevice &d, const std::string &name) {
        for (const SimUnitRecord &u : d.Fixture().units)
            if (u.name == name)
                return int(u.programPasses);
        return -1;
    };
    EXPECT_EQ(passes(a, "old"), 1);
    EXPECT_EQ(passes(a, "current"), 0);
    EXPECT_EQ(passes(b, "other"), 0);
    EXPECT_EQ(passes(b, "weak"), 2);
    EXPECT_EQ(passes(c, "bad"), 2);  // programmed as often as its record says, no more
    // The summary's counts are the records': 5 ok, 1 current, 3 failed; 5 of
    // 9 at the first attempt (the weak unit needed a second).
    std::istringstream summary(run.out.substr(run.out.rfind("\nall ") + 1));
    std::string all, units, ok, current, failed, yield;
    summary >> all >> units >> ok >> current >> failed >> yield;
    EXPECT_EQ(units + " " + ok + " " + current + " " + failed + " " + yield, "9 5 1 3 56%") << run.out;
    EXPECT_TRUE(Contains(run.err, "[" + c.PortPath() + "] zflash: the adapter of " + c.PortPath() +
                                      " was removed; waiting for it to come back."))
        << run.err;
}

// --count is exact across ports: a port that identifies a unit once the
// bound is reached leaves it untouched and unrecorded.
TEST_F(ZflashStationTest, CountTakesExactlyThatManyUnitsAcrossPorts)
{
    SimDevice &a = AddFixture({Unit("a1"), Unit("a2"), Unit("a3")});
    SimDevice &b = AddFixture({Unit("b1"), Unit("b2"), Unit("b3")});

    const ZflashRun run = Zflash({"--log", log, "--progress", "plain", "station", "--image", image, "--count", "3",
                                  "--port", a.PortPath(), "--port", b.PortPath()});

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(RecordsOf(a.PortPath()).size() + RecordsOf(b.PortPath()).size(), 3u);
    unsigned passes = 0;
    for (const SimDevice *d : {&a, &b})
        for (const SimUnitRecord &u : d->Fixture().units)
            passes += u.programPasses;
    EXPECT_EQ(passes, 3u);
}

// A unit re-seated after it was done is found current and only verified; a
// Ctrl-C while the station waits ends it with no record of a unit that never came.
TEST_F(ZflashStationTest, AReseatedUnitIsFoundCurrentAndCtrlCWhileWaitingEndsTheStation)
{
    SimOptions o = simOptions;
    o.units = {Unit("only")};
    sim.reset(new SimDevice(o));
    ASSERT_TRUE(sim->Start());
    ZflashProcess zflash(WithRoot({"--log", log, "--progress", "plain", "station", "--image", image, "--port", Port()}));
    ASSERT_TRUE(zflash.WaitForText("done v2.0.0", 30000));
    ASSERT_TRUE(zflash.WaitForText("waiting for a unit", 30000));
    sim->Reseat();
    ASSERT_TRUE(zflash.WaitForText("current v2.0.0", 30000));
    ASSERT_TRUE(Eventually([&] { return Records(log).size() == 2; }));
    zflash.Signal(SIGINT);
    const ZflashRun run = zflash.Finish();

    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<json> records = Records(log);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["result"], "ok");
    EXPECT_EQ(records[1]["result"], "current");
    EXPECT_EQ(sim->Fixture().units.at(0).programPasses, 1u);
}

TEST_F(ZflashStationTest, CtrlCOnceFinishesTheUnitUnderWayTwiceInterruptsIt)
{
    for (int presses : {1, 2}) {
        SCOPED_TRACE(presses);
        SimOptions o = simOptions;
        o.eraseMs = 3000;
        o.units = {Unit("first"), Unit("second")};
        o.swapper.enabled = true;
        o.swapper.quietMs = 1500;  // longer than any pause the host makes within a unit
        sim.reset(new SimDevice(o));
        ASSERT_TRUE(sim->Start());
        std::filesystem::remove(log);
        ZflashProcess zflash(WithRoot({"--log", log, "--progress", "plain", "station", "--image", image, "--port", Port()}));
        ASSERT_TRUE(zflash.WaitForText("Erasing firmware region...", 30000));
        zflash.Signal(SIGINT);
        if (presses == 2) {
            ASSERT_TRUE(zflash.WaitForText("Press Ctrl-C again", 10000));
            zflash.Signal(SIGINT);
        }
        const ZflashRun run = zflash.Finish();
        const std::vector<json> records = Records(log);
        ASSERT_EQ(records.size(), 1u) << run.err;
        EXPECT_EQ(records[0]["result"], presses == 1 ? "ok" : "interrupted");
        EXPECT_EQ(run.exitCode, presses == 1 ? 0 : 1) << run.err;
        for (const SimUnitRecord &u : sim->Fixture().units)
            EXPECT_TRUE(u.name != "second" || u.captures == 0) << "a unit was taken after the Ctrl-C";
    }
}
