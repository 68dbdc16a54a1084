// Several devices at once, and the record of every device session.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/zflash/test_zflash_support.h"
#include "targetlib/sha256.h"

using nlohmann::json;

namespace {

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

const json *RecordOf(const std::vector<json> &records, const std::string &port)
{
    for (const json &r : records)
        if (r["port"] == port)
            return &r;
    return nullptr;
}

// No process holds the port's lock any more (zflash locks the ports it opens).
bool Released(const std::string &port)
{
    const int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

class ZflashGangTest : public ZflashDeviceTest {
protected:
    // Devices beside the fixture's own, with options of their own.
    SimDevice &AddDevice(const SimOptions &options)
    {
        others.emplace_back(new SimDevice(options));
        EXPECT_TRUE(others.back()->Start());
        return *others.back();
    }
    std::vector<std::string> PortArgs() const
    {
        std::vector<std::string> args = {"--port", sim->PortPath()};
        for (const auto &d : others)
            args.insert(args.end(), {"--port", d->PortPath()});
        return args;
    }
    std::filesystem::path LogPath() const { return root / "line.jsonl"; }
    std::vector<std::unique_ptr<SimDevice>> others;
};

}  // namespace

TEST_F(ZflashGangTest, AFailingDeviceDoesNotStopTheOthersAndEachGetsItsRecord)
{
    ASSERT_TRUE(StartSim());
    SimOptions failing = simOptions;
    failing.verifyMismatchBlock = 2;
    SimDevice &bad = AddDevice(failing);
    SimDevice &good = AddDevice(simOptions);
    std::vector<std::string> args = {"--log", LogPath().string(), "program"};
    for (const std::string &a : PortArgs())
        args.push_back(a);

    ZflashRun run = Zflash(args);

    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(sim->InstalledInfo(), zftest::kNewestInfo);
    EXPECT_EQ(good.InstalledInfo(), zftest::kNewestInfo);
    const std::vector<json> records = Records(LogPath());
    ASSERT_EQ(records.size(), 3u);
    const json *failed = RecordOf(records, bad.PortPath());
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ((*failed)["result"], "failed");
    EXPECT_EQ((*failed)["failure"]["kind"], "verify-mismatch");
    EXPECT_EQ((*failed)["exit_code"], 1);
    const json *ok = RecordOf(records, good.PortPath());
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ((*ok)["result"], "ok");
    EXPECT_EQ((*ok)["before"]["version"], "1.0.0");
    EXPECT_EQ((*ok)["after"]["version"], "1.10.0");
    EXPECT_EQ((*ok)["device"], json({{"product", "VKT-3"}, {"hw", "VKT3K"}}));
    EXPECT_EQ((*ok)["image"]["file"], "fw_1_10_0.bin");
    EXPECT_EQ((*ok)["image"]["sha256"], FileSha256((firmwareDir / "fw_1_10_0.bin").string()));
    EXPECT_EQ((*ok)["failure"]["kind"], "");
    for (const char *key : {"time", "tool_version", "station", "adapter", "seconds"})
        EXPECT_TRUE(ok->contains(key)) << key;
    EXPECT_GT((*ok)["seconds"]["program"].get<double>(), 0.0);
    // The summary names each port with its result.
    EXPECT_TRUE(Contains(run.out, "v1.0.0 -> v1.10.0"));
    EXPECT_TRUE(Contains(run.out, bad.PortPath()));
    EXPECT_TRUE(Contains(run.out, "failed"));
}

TEST_F(ZflashGangTest, TwoTerminationsStopEveryWorkerAndEveryRecordSaysInterrupted)
{
    simOptions.eraseMs = 20000;
    ASSERT_TRUE(StartSim());
    AddDevice(simOptions);
    std::vector<std::string> args = {"--log", LogPath().string(), "program"};
    for (const std::string &a : PortArgs())
        args.push_back(a);
    ZflashProcess zflash(WithRoot(args));
    for (const auto *port : {&sim->PortPath(), &others[0]->PortPath()})
        ASSERT_TRUE(zflash.WaitForText("[" + *port + "] Erasing firmware region...", 30000));
    zflash.Signal(SIGTERM);
    ASSERT_TRUE(zflash.WaitForText("Press Ctrl-C again", 10000));
    zflash.Signal(SIGTERM);
    ZflashRun run = zflash.Finish();

    EXPECT_EQ(run.exitCode, 1);
    const std::vector<json> records = Records(LogPath());
    ASSERT_EQ(records.size(), 2u);
    for (const json &r : records) {
        EXPECT_EQ(r["result"], "interrupted");
        EXPECT_EQ(r["failure"]["kind"], "interrupted");
    }
    EXPECT_TRUE(Released(sim->PortPath()));
    EXPECT_TRUE(Released(others[0]->PortPath()));
}

TEST_F(ZflashDeviceTest, VerifyComparesWithoutWritingAndFailsOnAMismatch)
{
    ASSERT_TRUE(StartSim());
    ASSERT_EQ(Zflash({"program", "--port", Port()}).exitCode, 0);
    sim->ResetStats();
    ZflashRun ok = Zflash({"verify", "--port", Port(), "--version", "1.10.0"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    ZflashRun other = Zflash({"verify", "--port", Port(), "--version", "1.2.0"});
    EXPECT_EQ(other.exitCode, 1);
    const std::vector<int> commands = sim->Stats().commands;
    for (int written : {90, 92, 93, 190})
        EXPECT_EQ(std::count(commands.begin(), commands.end(), written), 0) << written;
}

TEST_F(ZflashDeviceTest, SkipIfCurrentOnlyVerifiesADeviceThatHoldsTheImage)
{
    ASSERT_TRUE(StartSim());
    ASSERT_EQ(Zflash({"program", "--port", Port()}).exitCode, 0);
    sim->ResetStats();
    const std::string log = (root / "skip.jsonl").string();
    ZflashRun run = Zflash({"--log", log, "program", "--port", Port(), "--skip-if-current"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<int> commands = sim->Stats().commands;
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 92), 0);  // no erase
    EXPECT_GT(std::count(commands.begin(), commands.end(), 191), 0);  // verified
    EXPECT_EQ(Records(log).at(0)["result"], "current");
}

TEST_F(ZflashDeviceTest, TheDeadlineBoundsTheWholeSession)
{
    simOptions.eraseMs = 20000;
    ASSERT_TRUE(StartSim());
    const std::string log = (root / "deadline.jsonl").string();
    ZflashRun run = Zflash({"--deadline", "1", "--log", log, "program", "--port", Port()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "the deadline of 1 s has passed while programming: the device may be left "
                                  "without working firmware."));
    const json record = Records(log).at(0);
    EXPECT_EQ(record["result"], "interrupted");
    EXPECT_EQ(record["failure"]["kind"], "interrupted");
}

// Every way a session can end leaves exactly one record.
TEST_F(ZflashDeviceTest, ARecordOnEveryPath)
{
    const std::string log = (root / "paths.jsonl").string();
    simOptions.announce = false;
    ASSERT_TRUE(StartSim());
    Zflash({"--log", log, "--deadline", "0.5", "capture", "--port", Port()});    // no device
    Zflash({"--log", log, "program", "--port", Port(), "--image", "/nonexistent.bin"});  // bad input
    {
        ZflashProcess zflash(WithRoot({"--log", log, "capture", "--port", Port()}));
        ASSERT_TRUE(zflash.WaitForText("Waiting for target.", 30000));
        zflash.Signal(SIGINT);
        zflash.Finish();  // cancelled
    }
    {
        ZflashProcess zflash(WithRoot({"--log", log, "capture", "--port", Port()}));
        ASSERT_TRUE(zflash.WaitForText("Waiting for target.", 30000));
        zflash.Signal(SIGHUP);
        zflash.Finish();  // cancelled too: nothing was written
    }
    std::vector<std::string> results;
    for (const json &r : Records(log))
        results.push_back(r["result"]);
    EXPECT_EQ(results, (std::vector<std::string>{"no-device", "bad-input", "cancelled", "cancelled"}));
}

// With several ports the pipe gets what one port would give it, each line
// prefixed with its port, even while standard error shows the live lines.
TEST_F(ZflashGangTest, ThePipeGetsEveryPortsLogLinesWhileTheTerminalShowsTheLiveLines)
{
    ASSERT_TRUE(StartSim());
    SimOptions failing = simOptions;
    failing.verifyMismatchBlock = 1;
    SimDevice &bad = AddDevice(failing);
    std::vector<std::string> args = {"program"};
    for (const std::string &a : PortArgs())
        args.push_back(a);
    ZflashProcess zflash(WithRoot(args), true);  // standard error on a terminal
    const ZflashRun run = zflash.Finish();

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.out, "[" + Port() + "] Opening " + Port() + "...\n"));
    EXPECT_TRUE(Contains(run.out, "[" + Port() + "] Programming complete.\n"));
    EXPECT_TRUE(Contains(run.out, "[" + bad.PortPath() + "] ERROR: Verification failed after programming. Contact "));
    EXPECT_TRUE(Contains(run.err, "\x1b["));  // the live lines stay on the terminal
    EXPECT_FALSE(Contains(run.out, "\x1b["));
}

TEST_F(ZflashGangTest, PlainProgressComesAtWholeTensUpToOneHundredAndPortNamesAreShownSafely)
{
    ASSERT_TRUE(StartSim());
    const std::string odd = (root / "tty\x1b[2Jx").string();  // a name that would clear the screen
    std::filesystem::create_symlink(sim->PortPath(), odd);
    SimDevice &other = AddDevice(simOptions);
    const ZflashRun run = Zflash({"--progress", "plain", "program", "--port", odd, "--port", other.PortPath()});

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(Contains(run.out + run.err, "\x1b"));
    const std::string shown = (root / "tty\\x1b[2Jx").string();
    for (const std::string &port : {shown, other.PortPath()})
        for (const char *phase : {"Programming", "Verifying"}) {
            std::vector<int> percents;
            const std::string head = "[" + port + "] " + phase + ": ";
            for (size_t at = run.err.find(head); at != std::string::npos; at = run.err.find(head, at + 1))
                percents.push_back(std::stoi(run.err.substr(at + head.size())));
            ASSERT_FALSE(percents.empty()) << head;
            for (int p : percents)
                EXPECT_EQ(p % 10, 0) << head << p;
            EXPECT_EQ(percents.back(), 100) << head;
        }
    // The summary's columns line up with the names as shown.
    const size_t header = run.out.find("Port");
    ASSERT_NE(header, std::string::npos);
    const size_t column = run.out.find("Device", header) - header;
    const size_t row = run.out.find(shown + " ");
    ASSERT_NE(row, std::string::npos);
    EXPECT_EQ(run.out.substr(row + column, 5), "VKT-3");
}

TEST_F(ZflashGangTest, AskingForBarsOnAPipeGetsBars)
{
    ASSERT_TRUE(StartSim());
    AddDevice(simOptions);
    std::vector<std::string> args = {"--progress", "bar", "capture"};
    for (const std::string &a : PortArgs())
        args.push_back(a);
    const ZflashRun run = Zflash(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "\x1b[K"));
}

// Every worker writes the image its supervisor checked, or nothing.
TEST_F(ZflashDeviceTest, AWorkerWhoseImageIsNotTheOneCheckedWritesNothing)
{
    ASSERT_TRUE(StartSim());
    const std::string image = (firmwareDir / "fw_1_10_0.bin").string();
    const ZflashRun run = Zflash({"--events", "program", "--port", Port(), "--image", image, "--expect-sha256",
                                  std::string(64, '0')});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.out, ", not " + std::string(64, '0') + " as expected")) << run.out;
    EXPECT_TRUE(Contains(run.out, "\"kind\":\"image-changed\""));
    EXPECT_EQ(sim->Stats().captures, 0u);
}
