// The fixture's text forms and the operator's timing, without a line: units
// as zsim's --unit gives them, control commands, the report, and the drawn
// pauses and take-out times.
#include <gtest/gtest.h>

#include "tools/zsim/sim_control.h"
#include "tools/zsim/sim_fixture.h"
#include "tools/zsim/sim_unit_text.h"

namespace {

const SimUnitWords kWords{"VKT3K", -1, "VN:1.0.0\n", "VN:2.0.0\n",
                          std::make_shared<const std::string>("VN:2.0.0\n\0code", 14)};

}  // namespace

TEST(SimUnitText, GivesTheUnitsItNames)
{
    const struct {
        const char *text;
        size_t count;
        const char *name, *hw, *info;
        size_t flashBytes;
        int mismatch, weak, weakPasses;
        size_t faults;
    } rows[] = {
        {"", 1, "", "VKT3K", "VN:1.0.0\n", 0, -1, -1, 1, 0},
        {"3*fw=old", 3, "", "VKT3K", "VN:1.0.0\n", 0, -1, -1, 1, 0},
        {"fw=current", 1, "", "VKT3K", "VN:2.0.0\n", 14, -1, -1, 1, 0},
        {"name=Q,hw=VKTQ1,fw=blank", 1, "Q", "VKTQ1", "", 0, -1, -1, 1, 0},
        {"info=VN:3\\,x\\nMD:A", 1, "", "VKT3K", "VN:3,x\nMD:A", 0, -1, -1, 1, 0},
        {"fw=current,info=VN:9", 1, "", "VKT3K", "VN:9", 0, -1, -1, 1, 0},
        {"mismatch=4,weak=2,weak-passes=3", 1, "", "VKT3K", "VN:1.0.0\n", 0, 4, 2, 3, 0},
        {"2*fault=drop:90:1,fault=unplug:190:3:1:200", 2, "", "VKT3K", "VN:1.0.0\n", 0, -1, -1, 1, 2},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        std::vector<SimUnit> units;
        std::string error;
        ASSERT_TRUE(ParseSimUnits(row.text, kWords, units, error)) << error;
        ASSERT_EQ(units.size(), row.count);
        EXPECT_EQ(units.back().name, row.name);
        EXPECT_EQ(units.back().hw, row.hw);
        EXPECT_EQ(units.back().installedInfo, row.info);
        EXPECT_EQ(units.back().flash ? units.back().flash->size() : 0, row.flashBytes);
        EXPECT_EQ(units.back().verifyMismatchBlock, row.mismatch);
        EXPECT_EQ(units.back().weakBlock, row.weak);
        EXPECT_EQ(units.back().weakPasses, row.weakPasses);
        EXPECT_EQ(units.back().faults.size(), row.faults);
    }
}

TEST(SimUnitText, RefusesWhatItCannotPlayAndSaysWhy)
{
    const struct {
        const char *text, *error;
    } rows[] = {
        {"0*fw=old", "a count from 1 to 1000000 before '*'"},
        {"fw=new", "fw is old, current or blank, not \"new\""},
        {"hw", "KEY=VALUE expected, not \"hw\""},
        {"colour=red", "bad colour=red"},
        {"mismatch=-1", "bad mismatch=-1"},
        {"weak-passes=0", "bad weak-passes=0"},
        {"fault=melt:90", "bad fault=melt:90"},
        {"info-file=/nonexistent/zf", "cannot read /nonexistent/zf"},
        {"image=/nonexistent/zf", "/nonexistent/zf is no image file"},
    };
    for (const auto &row : rows) {
        std::vector<SimUnit> units(1);
        std::string error;
        EXPECT_FALSE(ParseSimUnits(row.text, kWords, units, error)) << row.text;
        EXPECT_EQ(error, row.error) << row.text;
        EXPECT_EQ(units.size(), 1u) << row.text;
    }
    std::string error;
    std::vector<SimUnit> units;
    EXPECT_FALSE(ParseSimUnits("fw=current", SimUnitWords{"VKT3K", -1, "VN:1\n", "", nullptr}, units, error));
    EXPECT_EQ(error, "fw=current needs --current-image, --current-info or --current-info-file");
}

// Commands on a device that is not running: the fixture changes all the same.
TEST(SimControlText, EachCommandActsOnTheFixture)
{
    SimOptions options;
    options.units.resize(2);
    SimDevice device(options);
    const struct {
        const char *line;
        SimControlResult result;
        int current;  // the unit in the fixture afterwards
        const char *reply;
    } rows[] = {
        {"out", SimControlResult::Done, -1, ""},
        {"reseat", SimControlResult::Done, 0, ""},
        {"swap", SimControlResult::Done, 1, ""},
        {"in", SimControlResult::Done, 1, "zsim: no unit in line to plug in\n"},
        {"swap 50", SimControlResult::Done, -1, ""},
        {"unplug 10", SimControlResult::Done, -1, "zsim: adapter not pulled (no --link, or out already)\n"},
        {"replug", SimControlResult::Done, -1, "zsim: adapter not out\n"},
        {"fault late:190:5:1:500", SimControlResult::Done, -1, ""},
        {"fault late:190:x", SimControlResult::Bad, -1, "zsim: bad command \"fault late:190:x\"\n"},
        {"", SimControlResult::Done, -1, ""},
        {"swap soon", SimControlResult::Bad, -1, "zsim: bad command \"swap soon\"\n"},
        {"eject", SimControlResult::Bad, -1, "zsim: bad command \"eject\"\n"},
        {"quit", SimControlResult::Quit, -1, ""},
    };
    for (const auto &row : rows) {
        std::string reply;
        EXPECT_EQ(SimControl(device, row.line, reply), row.result) << row.line;
        EXPECT_EQ(reply, row.reply) << row.line;
        EXPECT_EQ(device.Fixture().current, row.current) << row.line;
    }
    std::string report;
    SimControl(device, "stats", report);
    EXPECT_EQ(report,
              "zsim: fixture plugged=2 reseated=1 taken-out=3 units-programmed=0 program-passes=0 "
              "verify-passes=0 unplugs=0 in=- waiting=0 bytes-while-empty=0\n"
              "zsim: unit #1 hw=VKT3K power-ups=1 captures=0 program-passes=0 verify-passes=0 "
              "verify-failures=0 served-ms=0 version=1.0.0\n"
              "zsim: unit #2 hw=VKT3K power-ups=1 captures=0 program-passes=0 verify-passes=0 "
              "verify-failures=0 served-ms=0 version=1.0.0\n");
}

TEST(SimOperatorTiming, TheSameSeedDrawsTheSamePausesWithinTheRange)
{
    SimOperator op;
    op.plugMinMs = 100;
    op.plugMaxMs = 140;
    op.seed = 7;
    SimFixture a, b, c;
    a.SetOperator(op);
    b.SetOperator(op);
    op.seed = 8;
    c.SetOperator(op);
    std::vector<int> drawnA, drawnB, drawnC;
    for (int i = 0; i < 50; ++i) {
        drawnA.push_back(a.DrawPause());
        drawnB.push_back(b.DrawPause());
        drawnC.push_back(c.DrawPause());
    }
    EXPECT_EQ(drawnA, drawnB);
    EXPECT_NE(drawnA, drawnC);
    for (int ms : drawnA) {
        EXPECT_GE(ms, 100);
        EXPECT_LE(ms, 140);
    }
}

TEST(SimOperatorTiming, AUnitGoesOutOnlyOnceCapturedAndTheNextComesAfterThePause)
{
    using Clock = SimFixture::Clock;
    const Clock::time_point t0 = Clock::now();
    const auto ms = [](int n) { return std::chrono::milliseconds(n); };
    SimOperator op;
    op.enabled = true;
    op.quietMs = 200;
    op.plugMinMs = op.plugMaxMs = 50;
    SimFixture f;
    f.SetOperator(op);
    f.Queue({SimUnit(), SimUnit()});
    SimUnitRecord record;
    SimUnitState first = f.Arrive(f.NextInLine(), record);

    EXPECT_EQ(f.Plan(false, t0).step, SimOperatorPlan::Wait) << "not captured yet";
    const SimOperatorPlan out = f.Plan(true, t0 + ms(30));
    EXPECT_EQ(out.step, SimOperatorPlan::TakeOut);
    EXPECT_EQ(out.at, t0 + ms(230));

    f.Leave(std::move(first), record);
    f.ScheduleNext(t0 + ms(230), -1);
    const SimOperatorPlan next = f.Plan(false, t0);
    EXPECT_EQ(next.step, SimOperatorPlan::PlugNext);
    EXPECT_EQ(next.at, t0 + ms(280));

    f.NextInLine();
    EXPECT_EQ(f.Plan(false, t0).step, SimOperatorPlan::Wait) << "no unit left in line";
}

// A long shift does not pile up flash: units of the image the station
// programs share it in line, and only named units and the last one taken
// out keep theirs when they are out.
TEST(SimFixtureShelf, KeepsWhatCanComeBackAndShareWhatIsAlike)
{
    std::vector<SimUnit> line;
    std::string error;
    ASSERT_TRUE(ParseSimUnits("3*fw=current", kWords, line, error)) << error;
    for (const SimUnit &u : line)
        EXPECT_EQ(u.flash.get(), kWords.currentFlash.get());

    SimUnit named;
    named.name = "A";
    line.insert(line.begin(), named);
    SimFixture f;
    f.Queue(line);
    for (int i = 0; i < 4; ++i) {
        SimUnitRecord record;
        SimUnitState in = f.Arrive(f.NextInLine(), record);
        in.flash = "programmed " + in.unit.name;
        f.Leave(std::move(in), record);
    }
    std::optional<SimUnitState> last = f.Recall();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->flash, "programmed #4");

    SimUnitRecord record;
    SimUnit again;
    again.name = "#3";
    EXPECT_NE(f.Arrive(again, record).flash, "programmed #3") << "an unnamed unit does not come back";
    EXPECT_EQ(f.Arrive(named, record).flash, "programmed A");
}
