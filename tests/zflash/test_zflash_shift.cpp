// A station through the disorder of a shift: adapters pulled and plugged
// back (or coming back as something else), units re-seated in the middle of
// their session, presses and signals at awkward moments, a killed
// supervisor, a disk that fills, hostile texts, a pinned image. Each case
// checks what a line relies on: one truthful record per session, the exit
// code agreeing with them, no unit touched that should not be.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <thread>
#include <memory>
#include <sstream>

#include "targetlib/sha256.h"
#include "tests/support/eventually.h"
#include "tests/zflash/station_fixture.h"
#include "tests/zflash/test_zflash_support.h"

using nlohmann::json;
using zftest::Contains;
using zftest::kStationInfo;
using zftest::ZflashStationTest;

namespace {

size_t Count(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

SimFault Fault(SimFault::Kind kind, int command, int skip, unsigned value = 0)
{
    SimFault f;
    f.kind = kind;
    f.command = command;
    f.skip = skip;
    f.value = value;
    return f;
}

// The processes whose command line names `text` (the workers of a supervisor).
std::vector<pid_t> ProcessesNaming(const std::string &text)
{
    std::vector<pid_t> found;
    DIR *proc = opendir("/proc");
    for (dirent *e; proc && (e = readdir(proc));) {
        const pid_t pid = pid_t(std::atoi(e->d_name));
        if (pid <= 0)
            continue;
        std::ifstream in("/proc/" + std::string(e->d_name) + "/cmdline", std::ios::binary);
        std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find(text) != std::string::npos)
            found.push_back(pid);
    }
    if (proc)
        closedir(proc);
    return found;
}

// The summary's row of `port`: port, units, ok, current, failed, yield, units/h.
std::vector<std::string> SummaryRow(const std::string &out, const std::string &port)
{
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, port.size() + 1, port + " ") != 0)
            continue;
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string w; words >> w;)
            row.push_back(w);
        if (row.size() >= 7)
            return row;
    }
    return std::vector<std::string>(7);
}

class ZflashShiftTest : public ZflashStationTest {
protected:
    // A fixture on a link (an adapter that can be pulled), units swapped by
    // its operator as soon as the host is done.
    SimDevice &LinkedFixture(const std::vector<SimUnit> &units)
    {
        return AddFixture(units, (root / ("tty" + std::to_string(fixtures.size()))).string());
    }
    std::vector<std::string> Station(const std::vector<std::string> &ports, const std::vector<std::string> &more = {})
    {
        std::vector<std::string> args = {"--log", log, "--progress", "plain", "station", "--image", image};
        args.insert(args.end(), more.begin(), more.end());
        for (const std::string &p : ports)
            args.insert(args.end(), {"--port", p});
        return args;
    }
    bool Passes(const SimDevice &d, const std::string &name, unsigned SimUnitRecord::*field, unsigned n) const
    {
        for (const SimUnitRecord &u : d.Fixture().units)
            if (u.name == name)
                return u.*field == n;
        return n == 0;
    }
};

// The port notices within a second that its adapter went (the line hangs
// up; or the name now leads to a new pseudo-terminal), says so, waits, and
// goes on with the next unit: it never goes deaf holding the old line.
TEST_F(ZflashShiftTest, AnAdapterPulledWhileWaitingIsNoticedAwaitedAndTakenUpAgain)
{
    for (int backAfterMs : {60, 1500}) {
        SCOPED_TRACE(backAfterMs);
        fixtures.clear();
        std::filesystem::remove(log);
        SimDevice &f = LinkedFixture({Unit("u1"), Unit("u2")});
        ZflashProcess zflash(WithRoot(Station({f.PortPath()}, {"--count", "2"})));
        ASSERT_TRUE(Eventually([&] { return Records(log).size() == 1; }, std::chrono::seconds(30)));
        ASSERT_TRUE(zflash.WaitForText("waiting for a unit", 10000));
        ASSERT_TRUE(f.UnplugAdapter(backAfterMs));
        ASSERT_TRUE(zflash.WaitForText("was removed; waiting for it to come back", 5000));
        const ZflashRun run = zflash.Finish(60000);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Contains(run.err, "is back.")) << run.err;
        const std::vector<json> records = Records(log);
        ASSERT_EQ(records.size(), 2u) << run.err;
        EXPECT_EQ(records[1]["result"], "ok");
    }
}

// A name that comes back as something that is no serial port is said once
// and looked at calmly; the real adapter, once back, is taken up.
TEST_F(ZflashShiftTest, ANameThatComesBackButCannotBeOpenedIsSaidOnceNotFlooded)
{
    SimDevice &f = LinkedFixture({Unit("u1"), Unit("u2")});
    ZflashProcess zflash(WithRoot(Station({f.PortPath()}, {"--count", "2"})));
    ASSERT_TRUE(Eventually([&] { return Records(log).size() == 1; }, std::chrono::seconds(30)));
    ASSERT_TRUE(zflash.WaitForText("waiting for a unit", 10000));
    ASSERT_TRUE(f.UnplugAdapter(-1));
    ASSERT_TRUE(zflash.WaitForText("was removed; waiting", 5000));
    std::filesystem::create_symlink("/dev/null", f.PortPath());
    ASSERT_TRUE(zflash.WaitForText("is back but cannot be used yet", 5000));
    // A few more looks at the wrong device (four a second) must say nothing new.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    std::filesystem::remove(f.PortPath());
    ASSERT_TRUE(f.PlugAdapterBack());
    const ZflashRun run = zflash.Finish(60000);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Count(run.err, "was removed; waiting"), 1u) << run.err;
    EXPECT_EQ(Count(run.err, "cannot be used yet"), 1u) << run.err;
    EXPECT_EQ(Records(log).size(), 2u);
}

// A unit in progress when its adapter went is interrupted, whichever step it
// was in, with what that means for the device.
TEST_F(ZflashShiftTest, AUnitWhoseAdapterWentIsInterruptedWhateverItsStep)
{
    const struct {
        int command, skip;
        const char *said;
    } cases[] = {
        {92, 0, "while the device was being written"},
        {190, 3, "while the device was being written"},
        {191, 2, "while the device was being verified"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        fixtures.clear();
        std::filesystem::remove(log);
        SimUnit u = Unit("pulled");
        u.faults = {Fault(SimFault::Unplug, c.command, c.skip, 300)};
        SimDevice &f = LinkedFixture({u});
        const ZflashRun run = Zflash(Station({f.PortPath()}, {"--count", "1"}));
        EXPECT_EQ(run.exitCode, 1) << run.err;
        const std::vector<json> records = Records(log);
        ASSERT_EQ(records.size(), 1u) << run.err;
        EXPECT_EQ(records[0]["result"], "interrupted");
        EXPECT_TRUE(Contains(records[0]["failure"]["detail"], c.said)) << records[0]["failure"]["detail"];
    }
}

// A unit re-seated in the middle of its session is recorded as that, and
// is taken again: one unit, counted once, towards --count too.
TEST_F(ZflashShiftTest, AUnitReseatedMidSessionIsRecordedAsSuchAndCountedOnce)
{
    const struct {
        bool current;
        int command, skip;
        const char *after;
    } cases[] = {
        {true, 191, 2, "current"},  // re-seated while being verified
        {false, 190, 3, "ok"},      // re-seated while being programmed
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.after);
        fixtures.clear();
        std::filesystem::remove(log);
        SimUnit u = c.current ? Current("seated") : Unit("seated");
        u.faults = {Fault(SimFault::Reseat, c.command, c.skip)};
        SimDevice &f = AddFixture({u, Unit("next")});
        const ZflashRun run = Zflash(Station({f.PortPath()}, {"--count", "1"}));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::vector<json> records = Records(log);
        ASSERT_EQ(records.size(), 2u) << run.err;
        EXPECT_EQ(records[0]["result"], "reseated");
        EXPECT_EQ(records[1]["result"], c.after);
        EXPECT_TRUE(Passes(f, "next", &SimUnitRecord::captures, 0)) << "the re-seat took a unit of --count";
        const std::vector<std::string> row = SummaryRow(run.out, f.PortPath());
        const std::vector<std::string> expected = {"1", c.current ? "0" : "1", c.current ? "1" : "0", "0"};
        EXPECT_EQ(std::vector<std::string>(row.begin() + 1, row.begin() + 5), expected) << run.out;
    }
}

// Ctrl-C or SIGTERM just after a unit was identified: the unit is finished,
// recorded truthfully, and the exit code agrees with the summary.
TEST_F(ZflashShiftTest, ASignalJustAfterAUnitWasIdentifiedFinishesItTruthfully)
{
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        fixtures.clear();
        std::filesystem::remove(log);
        SimDevice &f = AddFixture({Unit("first"), Unit("second")});
        ZflashProcess zflash(WithRoot(Station({f.PortPath()})));
        ASSERT_TRUE(zflash.WaitForText("Starting flashloader", 30000));
        zflash.Signal(sig);
        const ZflashRun run = zflash.Finish(60000);
        const std::vector<json> records = Records(log);
        ASSERT_EQ(records.size(), 1u) << run.err;
        EXPECT_EQ(records[0]["result"], "ok") << records[0].dump();
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Passes(f, "second", &SimUnitRecord::captures, 0));
    }
}

// Killing the supervisor (SIGKILL: nothing of it runs) takes its workers
// with it: none lives on to hold a port or program a device unrecorded.
TEST_F(ZflashShiftTest, WorkersNeverOutliveTheirSupervisor)
{
    for (const char *command : {"station", "program"}) {
        SCOPED_TRACE(command);
        SimOptions quiet = simOptions;
        quiet.announce = false;  // no device powers up
        SimDevice a(quiet), b(quiet);
        ASSERT_TRUE(a.Start() && b.Start());
        ZflashProcess zflash(WithRoot({"--log", log, "--progress", "plain", command, "--image", image, "--port",
                                       a.PortPath(), "--port", b.PortPath()}));
        const std::string mark = "--supervisor " + std::to_string(zflash.Pid()) + " ";
        ASSERT_TRUE(Eventually([&] { return ProcessesNaming(mark).size() == 2 && a.HostOpen() && b.HostOpen(); }));
        zflash.Signal(SIGKILL);
        zflash.Finish(10000);
        EXPECT_TRUE(Eventually([&] { return ProcessesNaming(mark).empty(); }, std::chrono::seconds(5))) << "a worker outlived it";
        EXPECT_TRUE(Eventually([&] { return !a.HostOpen() && !b.HostOpen(); }, std::chrono::seconds(5)));
    }
}

// A disk that fills: the first unit fits, the second's start does not. The
// second unit is not touched, and the station stops at once with code 5.
TEST_F(ZflashShiftTest, ADiskThatFillsStopsTheStationBeforeTheNextUnitIsTouched)
{
    SimDevice &measure = AddFixture({Unit("m")});
    ASSERT_EQ(Zflash(Station({measure.PortPath()}, {"--count", "1"})).exitCode, 0);
    const auto oneUnit = std::filesystem::file_size(log);
    ASSERT_EQ(Starts(log).size(), 1u);
    fixtures.clear();

    SimDevice &f = AddFixture({Unit("first"), Unit("second"), Unit("third")});
    const ZflashRun run = RunZflashWithFileSizeLimit(WithRoot(Station({f.PortPath()})), oneUnit + oneUnit + 100);
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_TRUE(Contains(run.err, "No more units are taken.")) << run.err;
    EXPECT_TRUE(Passes(f, "second", &SimUnitRecord::programPasses, 0));
    EXPECT_TRUE(Passes(f, "third", &SimUnitRecord::captures, 0));
    EXPECT_EQ(Records(log).size(), 2u);
}

// Standard output with --json holds JSON lines only, and nothing from a
// device or a file reaches the terminal raw, even the image's own text.
TEST_F(ZflashShiftTest, JsonOutputIsJsonLinesOnlyAndHostileTextsAreEscaped)
{
    const std::string hostile = "VN:2.0.0\r\nMD:VKT-3\x1b]0;owned\x07\r\nHW:VKT3K\r\n";
    image = WriteImage(root / "hostile.bin", hostile);
    SimDevice &f = AddFixture({Unit("u")});
    for (bool verbose : {false, true}) {
        SCOPED_TRACE(verbose);
        std::vector<std::string> args = {"--json", "--log", log, "station", "--image", image, "--count", "1",
                                         "--port", f.PortPath()};
        if (verbose)
            args.insert(args.begin(), "--verbose");
        const ZflashRun run = Zflash(args);
        std::istringstream lines(run.out);
        size_t n = 0;
        for (std::string line; std::getline(lines, line); ++n)
            EXPECT_TRUE(json::parse(line, nullptr, false).is_object()) << line;
        EXPECT_GE(n, 1u);
        EXPECT_FALSE(Contains(run.out + run.err, "\x1b]")) << "a raw escape reached the terminal";
        f.Reseat();  // the next run's unit
    }
}

// --expect-sha256 pins the image: another is refused before any device is
// touched, the pinned one is programmed.
TEST_F(ZflashShiftTest, ThePinnedImageIsTheOnlyOneProgrammed)
{
    SimDevice &f = AddFixture({Unit("u")});
    const ZflashRun wrong = Zflash(Station({f.PortPath()}, {"--count", "1", "--expect-sha256", std::string(64, 'a')}));
    EXPECT_EQ(wrong.exitCode, 2) << wrong.err;
    EXPECT_TRUE(Contains(wrong.err, "not " + std::string(64, 'a'))) << wrong.err;
    EXPECT_TRUE(Passes(f, "u", &SimUnitRecord::captures, 0));
    const ZflashRun right = Zflash(Station({f.PortPath()}, {"--count", "1", "--expect-sha256", FileSha256(image)}));
    EXPECT_EQ(right.exitCode, 0) << right.err;
    ASSERT_EQ(Records(log).size(), 1u);
    EXPECT_EQ(Records(log)[0]["image"]["sha256"], FileSha256(image));
}

// A station's worker refuses an image that is not the one its supervisor
// checked, with a record, as one device's program does.
TEST_F(ZflashShiftTest, AStationWorkerRefusingItsImageSendsARecord)
{
    SimDevice &f = AddFixture({Unit("u")});
    const ZflashRun run = Zflash({"--events", "station", "--port", f.PortPath(), "--image", image, "--expect-sha256",
                                  std::string(64, '0')});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.out, "\"event\":\"record\"")) << run.out;
    EXPECT_TRUE(Contains(run.out, "\"kind\":\"image-changed\"")) << run.out;
}

// --count is exact also when a counted unit fails before it is taken: the
// next unit on the port waits for its own answer.
TEST_F(ZflashShiftTest, AUnitThatFailsAfterItWasCountedLeavesNoGrantBehind)
{
    SimUnit broken = Unit("broken", "");
    broken.hw = "VKTQ2";  // identified, but its flash loader is missing here
    SimDevice &f = AddFixture({broken, Unit("next")});
    const ZflashRun run = Zflash(Station({f.PortPath()}, {"--count", "1"}));
    EXPECT_EQ(run.exitCode, 1) << run.err;  // a unit failed
    const std::vector<json> records = Records(log);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["failure"]["kind"], "loader-missing");
    EXPECT_TRUE(Passes(f, "next", &SimUnitRecord::captures, 0));
}

// A blank unit's missing firmware text is no error: it is programmed, and
// the log says what it found.
TEST_F(ZflashShiftTest, ABlankUnitReadsNoFirmwareInstalledNotAnError)
{
    SimDevice &f = AddFixture({Unit("blank", "")});
    const ZflashRun run = Zflash(Station({f.PortPath()}, {"--count", "1"}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(Contains(run.out + run.err, "Could not query installed firmware")) << run.out;
    EXPECT_TRUE(Contains(run.out, "no firmware installed")) << run.out;
}

}  // namespace
