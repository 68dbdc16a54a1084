// zflash and the USB serial adapter in front of the device: the simulated
// device behind a modelled adapter whose latency timer is a file in a
// made-up sysfs, reached by the port's names in a made-up /dev.
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "targetlib/transact.h"
#include "tests/zflash/test_zflash_support.h"
#include "tests/support/fake_system.h"

using zftest::kNewestInfo;

namespace {

const char *const kSlowAdapter = "passes received bytes on only every 16 ms (its latency timer)";

size_t Count(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The latency timers the device's replies met (one per reply), all of them.
std::vector<int> TimersOf(const SimDevice &device)
{
    std::vector<int> timers;
    for (const auto &reply : device.Stats().adapterTimers)
        timers.push_back(reply.second);
    return timers;
}

bool AllAre(const std::vector<int> &timers, int ms)
{
    return !timers.empty() && std::all_of(timers.begin(), timers.end(), [ms](int t) { return t == ms; });
}

class ZflashAdapterTest : public ZflashDeviceTest {
protected:
    void SetUp() override
    {
        ZflashDeviceTest::SetUp();
        setenv("ZFLASH_SYSFS_ROOT", fake.Sys().c_str(), 1);
        setenv("ZFLASH_DEV_ROOT", fake.Dev().c_str(), 1);
    }
    void TearDown() override
    {
        ZflashDeviceTest::TearDown();  // the device's thread ends first
        unsetenv("ZFLASH_SYSFS_ROOT");
        unsetenv("ZFLASH_DEV_ROOT");
    }

    // The fixture's device behind an FTDI adapter at dev/ttyUSB7.
    void StartBehindAdapter(const FakeAdapter &adapter = FakeAdapter())
    {
        simOptions.adapter = true;
        simOptions.latencyTimerFile = fake.TimerFile("ttyUSB7").string();
        ASSERT_TRUE(StartSim());
        fake.AddAdapter("ttyUSB7", "1-1", adapter, Port());
    }
    std::string AdapterPort() const { return fake.DevicePath("ttyUSB7").string(); }

    FakeSystem fake;
};

}  // namespace

TEST_F(ZflashAdapterTest, TheTimerIsOneMillisecondWhileProgrammingAndItsOldValueAfterwards)
{
    StartBehindAdapter();
    ZflashRun run = Zflash({"program", "--port", AdapterPort()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim->InstalledInfo(), kNewestInfo);
    EXPECT_TRUE(AllAre(TimersOf(*sim), 1));
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "16");
    EXPECT_EQ(Count(run.err, "latency timer"), 0u) << run.err;
}

TEST_F(ZflashAdapterTest, TheTimerIsPutBackAfterAFailure)
{
    simOptions.verifyMismatchBlock = 2;
    StartBehindAdapter();
    ZflashRun run = Zflash({"program", "--port", AdapterPort()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(AllAre(TimersOf(*sim), 1));
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "16");
}

TEST_F(ZflashAdapterTest, TheTimerIsPutBackWhenCtrlCAbortsProgramming)
{
    simOptions.eraseMs = 20000;
    StartBehindAdapter();
    ZflashProcess zflash(WithRoot({"program", "--port", AdapterPort()}));
    ASSERT_TRUE(zflash.WaitForText("Erasing firmware region...", 30000));
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "1");
    zflash.Signal(SIGINT);
    ASSERT_TRUE(zflash.WaitForText("Press Ctrl-C again", 10000));
    zflash.Signal(SIGINT);
    EXPECT_EQ(zflash.Finish().exitCode, 1);
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "16");
}

TEST_F(ZflashAdapterTest, TheTimerIsPutBackWhenCtrlCCancelsTheWaitForTheDevice)
{
    simOptions.announce = false;
    StartBehindAdapter();
    ZflashProcess zflash(WithRoot({"capture", "--port", AdapterPort()}));
    ASSERT_TRUE(zflash.WaitForText("Waiting for target. Power up the device now...", 30000));
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "1");
    zflash.Signal(SIGINT);
    EXPECT_EQ(zflash.Finish().exitCode, 3);
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "16");
}

TEST_F(ZflashAdapterTest, ATimerThatMayNotBeLoweredIsToldOnceAndProgrammingStillCompletes)
{
    StartBehindAdapter();
    fake.MakeTimerReadOnly("ttyUSB7");
    ZflashRun run = Zflash({"program", "--port", AdapterPort()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim->InstalledInfo(), kNewestInfo);
    EXPECT_EQ(Count(run.err, "zflash: warning: the USB serial adapter of " + AdapterPort() + " (ftdi_sio) " +
                                 kSlowAdapter + ", and zflash may not lower it (Operation not permitted)"),
              1u)
        << run.err;
    EXPECT_EQ(Count(run.err, "latency timer"), 1u) << run.err;
    EXPECT_EQ(Count(run.err, "ATTR{latency_timer}=\"1\""), 1u) << run.err;
    EXPECT_TRUE(AllAre(TimersOf(*sim), 16));
}

TEST_F(ZflashAdapterTest, APortWhoseDeviceHasNoTimerIsLeftAlone)
{
    FakeAdapter acm;
    acm.driver = "cdc_acm";
    acm.timerMs = 0;
    const std::filesystem::path elsewhere = fake.Sys() / ".." / "modelled_timer";
    FakeSystem::Write(elsewhere, "16");
    simOptions.adapter = true;
    simOptions.latencyTimerFile = elsewhere.string();
    ASSERT_TRUE(StartSim());
    fake.AddAdapter("ttyACM0", "1-1", acm, Port());
    ZflashRun run = Zflash({"program", "--port", fake.DevicePath("ttyACM0").string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(AllAre(TimersOf(*sim), 16));
    EXPECT_EQ(Count(run.err, "latency timer"), 0u) << run.err;
}

TEST_F(ZflashAdapterTest, AByIdNameFindsItsAdapterAndTheRecordNamesItsSerial)
{
    StartBehindAdapter();
    const std::string byId = fake.AddById("usb-FTDI_FT232R_USB_UART_A10KX-if00-port0", "ttyUSB7").string();
    const std::string log = (root / "line.jsonl").string();
    ZflashRun run = Zflash({"--log", log, "program", "--port", byId});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(AllAre(TimersOf(*sim), 1));
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "16");
    std::ifstream in(log);
    std::string line;
    std::getline(in, line);
    const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    EXPECT_EQ(record["port"], byId);
    EXPECT_EQ(record["adapter"], "A10KX");
}

TEST_F(ZflashAdapterTest, ASelectorProgramsEveryMatchingAdapterEachWithItsTimerLowered)
{
    StartBehindAdapter();
    SimOptions second = simOptions;
    second.latencyTimerFile = fake.TimerFile("ttyUSB8").string();
    SimDevice other(second);
    ASSERT_TRUE(other.Start());
    FakeAdapter adapter;
    adapter.serial = "B20LY";
    fake.AddAdapter("ttyUSB8", "1-2", adapter, other.PortPath());

    ZflashRun run = Zflash({"--progress", "none", "program", "--port", "usb:0403:6001"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(sim->InstalledInfo(), kNewestInfo);
    EXPECT_EQ(other.InstalledInfo(), kNewestInfo);
    EXPECT_TRUE(AllAre(TimersOf(*sim), 1));
    EXPECT_TRUE(AllAre(TimersOf(other), 1));
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "16");
    EXPECT_EQ(fake.ReadTimer("ttyUSB8"), "16");
}

TEST_F(ZflashAdapterTest, PortsShowsEachAdaptersDriverLatencyTimerAndStableName)
{
    fake.AddAdapter("ttyUSB7", "1-1", FakeAdapter());
    const std::string byId = fake.AddById("usb-FTDI_FT232R_USB_UART_A10KX-if00-port0", "ttyUSB7").string();
    ZflashRun run = RunZflash({"ports"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, AdapterPort() + "  ftdi_sio  FT232R USB UART  [0403:6001]  serial A10KX  latency timer 16 ms\n"
                                       "    " + byId + "\n");
    const nlohmann::json doc = nlohmann::json::parse(RunZflash({"--json", "ports"}).out);
    EXPECT_EQ(doc["ports"][0]["byId"], byId);
    EXPECT_EQ(doc["ports"][0]["latencyTimerMs"], 16);
}

namespace {

// The worker process that a gang's supervisor started for `port`, or -1.
pid_t WorkerFor(pid_t supervisor, const std::string &port)
{
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string pid, comm, state;
        pid_t parent = -1;
        stat >> pid >> comm >> state >> parent;
        std::ifstream cmdline(entry.path() / "cmdline");
        const std::string args((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        if (parent == supervisor && args.find(std::string("--port") + '\0' + port + '\0') != std::string::npos)
            return pid_t(std::stol(name));
    }
    return -1;
}

}  // namespace

// Several ports: each record names its adapter; a worker killed while it
// writes its device still leaves a record with what it had reported, and
// the adapter it had made fast is put back.
TEST_F(ZflashAdapterTest, AKilledWorkersRecordKeepsWhatItHadReportedAndItsAdapterIsPutBack)
{
    simOptions.eraseMs = 20000;
    StartBehindAdapter();
    SimOptions second = simOptions;
    second.eraseMs = 20;
    second.latencyTimerFile = fake.TimerFile("ttyUSB8").string();
    SimDevice other(second);
    ASSERT_TRUE(other.Start());
    FakeAdapter adapter;
    adapter.serial = "B20LY";
    fake.AddAdapter("ttyUSB8", "1-2", adapter, other.PortPath());
    const std::string log = (root / "killed.jsonl").string();
    const std::string port8 = fake.DevicePath("ttyUSB8").string();

    ZflashProcess zflash(WithRoot({"--log", log, "--progress", "plain", "program", "--port", AdapterPort(), "--port", port8}));
    ASSERT_TRUE(zflash.WaitForText("[" + AdapterPort() + "] Erasing firmware region...", 30000));
    ASSERT_TRUE(zflash.WaitForText("[" + port8 + "] Programming complete.", 30000));
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "1");
    const pid_t worker = WorkerFor(zflash.Pid(), AdapterPort());
    ASSERT_GT(worker, 0);
    kill(worker, SIGKILL);
    const ZflashRun run = zflash.Finish();

    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(fake.ReadTimer("ttyUSB7"), "16");
    const std::vector<nlohmann::json> records = Records(log);
    ASSERT_EQ(records.size(), 2u);
    for (const nlohmann::json &r : records) {
        const bool killed = r["port"] == AdapterPort();
        EXPECT_EQ(r["adapter"], killed ? "A10KX" : "B20LY");
        EXPECT_EQ(r["result"], killed ? "interrupted" : "ok");
        EXPECT_EQ(r["device"]["product"], "VKT-3");
        EXPECT_EQ(r["before"]["version"], "1.0.0");
        EXPECT_EQ(r["image"]["file"], "fw_1_10_0.bin");
        EXPECT_GT(r["seconds"]["total"].get<double>(), 0.0);
        if (killed) {
            EXPECT_EQ(r["failure"]["kind"], "interrupted");
            EXPECT_EQ(r["failure"]["detail"], "the zflash worker for " + AdapterPort() +
                                                  " ended before its session did (killed by signal 9) while the "
                                                  "device was being written: it may be left without working "
                                                  "firmware. Run zflash program again to restore it.");
            EXPECT_GT(r["seconds"]["erase"].get<double>(), 0.0);
        }
    }
}
