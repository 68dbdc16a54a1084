// The record is the line's evidence: it says what the operator was told, it
// is written whole or refused before any device is touched, and every record
// the tests make is checked against the published schema (the fixture's
// TearDown).
#include <signal.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/support/eventually.h"
#include "tests/zflash/test_zflash_support.h"
#include "tools/imagewriter/imagewriter.h"
#include "tools/zsim/simfaults.h"

using nlohmann::json;

namespace {

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// The first thing zflash said on standard error, without its "zflash: ".
std::string FirstError(const std::string &err)
{
    const size_t at = err.find("zflash: ");
    if (at == std::string::npos)
        return std::string();
    const size_t from = at + 8, end = err.find('\n', from);
    return err.substr(from, end - from);
}

const char *const kQ1Info = "VN:2.0.0\r\nMD:VKT-Q1\r\nHW:VKTQ1\r\nTS:2026-05-01 08:00\r\n";

}  // namespace

TEST_F(ZflashDeviceTest, EveryRefusedSessionsRecordSaysWhatTheOperatorWasTold)
{
    const std::string q1 = WriteImage(root / "q1.bin", kQ1Info);
    const std::string text = (root / "notes.txt").string();
    { std::ofstream(text) << "hello"; }
    ASSERT_TRUE(StartSim());
    const struct {
        const char *name;
        std::vector<std::string> args;
        int exitCode;
        const char *result, *kind, *file, *version;
    } cases[] = {
        {"missing image", {"program", "--port", Port(), "--image", (root / "gone.bin").string()}, 2, "bad-input",
         "image-invalid", "gone.bin", ""},
        {"not an image", {"program", "--port", Port(), "--image", text}, 2, "bad-input", "image-invalid",
         "notes.txt", ""},
        {"other hardware", {"program", "--port", Port(), "--image", q1}, 2, "bad-input", "wrong-hardware", "q1.bin",
         "2.0.0"},
        {"a version no device lists", {"program", "--port", Port(), "--version", "9.9"}, 2, "bad-input",
         "image-invalid", "", "9.9"},
        {"no hardware identifier", {"program", "--port", Port(), "--version", "0.9"}, 4, "bad-input",
         "unverifiable", "legacy_0_9.bin", "0.9"},
        {"no such port", {"capture", "--port", (root / "ttyNONE").string()}, 3, "no-device", "port-open-failed", "",
         ""},
        {"a folder for a port", {"capture", "--port", root.string()}, 3, "no-device", "port-open-failed", "", ""},
        {"a file for a port", {"capture", "--port", text}, 3, "no-device", "port-open-failed", "", ""},
        {"/dev/null for a port", {"capture", "--port", "/dev/null"}, 3, "no-device", "port-open-failed", "", ""},
    };
    const std::string log = (root / "refused.jsonl").string();
    size_t n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"--log", log};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ZflashRun run = Zflash(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        const std::vector<json> records = Records(log);
        ASSERT_EQ(records.size(), ++n);
        const json &r = records.back();
        EXPECT_EQ(r["result"], c.result);
        EXPECT_EQ(r["failure"]["kind"], c.kind);
        EXPECT_EQ(r["failure"]["detail"], FirstError(run.err));
        EXPECT_FALSE(Contains(r["failure"]["detail"], "Is another program using it?"));
        EXPECT_EQ(r["image"]["file"], c.file);
        EXPECT_EQ(r["image"]["version"], c.version);
    }
    EXPECT_EQ(sim->InstalledInfo(), zftest::kInstalledInfo);

    // A wait that runs out of time was not cancelled by anyone.
    simOptions.announce = false;
    sim->SetOptions(simOptions);
    const ZflashRun late = Zflash({"--log", log, "--timeout", "0.3", "capture", "--port", Port()});
    const json r = Records(log).back();
    EXPECT_EQ(r["failure"]["kind"], "timed-out");
    EXPECT_EQ(r["failure"]["detail"], FirstError(late.err));
    EXPECT_FALSE(Contains(late.out + late.err, "cancelled"));
}

TEST_F(ZflashDeviceTest, TheJsonDocumentsFailureCarriesTheOperatorsSentence)
{
    const std::string gone = (root / "gone.bin").string();
    const ZflashRun run = Zflash({"--json", "program", "--port", "/dev/null", "--image", gone});
    const json doc = json::parse(run.out);
    EXPECT_EQ(doc["failure"]["message"], "image file not found: " + gone);
    EXPECT_EQ(doc["record"]["failure"]["detail"], doc["failure"]["message"]);
}

// A log that cannot take the record is found before any device is touched.
TEST_F(ZflashDeviceTest, ALogThatCannotTakeRecordsIsRefusedBeforeAnyDeviceIsTouched)
{
    const std::string fifo = (root / "fifo.jsonl").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // no reader: a write would block
    const struct {
        std::string log, reason;
    } cases[] = {
        {"/dev/full", "it is not a regular file"},
        {fifo, "it is not a regular file"},
        {firmwareDir.string(), "Is a directory"},
        {(root / "no" / "such" / "folder.jsonl").string(), "No such file or directory"},
    };
    ASSERT_TRUE(StartSim());
    for (const auto &c : cases) {
        const ZflashRun run = Zflash({"--log", c.log, "program", "--port", Port()});
        EXPECT_EQ(run.exitCode, 2) << c.log;
        EXPECT_EQ(run.err, "zflash: cannot write records to " + c.log + ": " + c.reason + ". No device was touched.\n");
    }
    EXPECT_EQ(sim->Stats().captures, 0u);
    std::filesystem::remove(fifo);
}

// A disk that fills: with no room for the session's start the device is not
// touched; with room for the start but not the end, it is programmed but its
// evidence is incomplete. Either way the line's script sees exit code 5, and
// the log keeps only whole lines.
TEST_F(ZflashDeviceTest, ARecordLostToAFullDiskFailsTheRunAndLeavesNoTornLine)
{
    const struct {
        unsigned long long room;  // bytes the log may still grow (a start takes about 550, an end about 850)
        bool programmed;
        const char *said;
        size_t starts;
    } cases[] = {
        {100, false, "zflash: the start of this session could not be put on record (File too large): nothing was "
                     "written to the device.\n", 0},
        {1000, true, "the record of this session could not be added to ", 1},
    };
    ASSERT_TRUE(StartSim());
    for (const auto &c : cases) {
        const std::string log = (root / ("full-" + std::to_string(c.room) + ".jsonl")).string();
        ASSERT_EQ(Zflash({"--log", log, "capture", "--port", Port()}).exitCode, 0);
        const auto before = std::filesystem::file_size(log);
        EXPECT_TRUE(Eventually([this] { return !sim->HostOpen(); }));

        const ZflashRun run =
            RunZflashWithFileSizeLimit(WithRoot({"--log", log, "program", "--port", Port()}), before + c.room);

        EXPECT_EQ(run.exitCode, 5) << run.err;
        EXPECT_EQ(sim->InstalledInfo(), c.programmed ? zftest::kNewestInfo : zftest::kInstalledInfo);
        EXPECT_TRUE(Contains(run.err, c.said)) << run.err;
        EXPECT_EQ(Starts(log).size(), c.starts);
        EXPECT_EQ(Records(log).size(), 1u) << "only the capture's end";
        EXPECT_TRUE(Eventually([this] { return !sim->HostOpen(); }));
    }
    ExpectValidRecords(root, false);  // the programmed session's end is missing: that is the point
    for (const auto &c : cases)
        std::filesystem::remove(root / ("full-" + std::to_string(c.room) + ".jsonl"));
}

TEST_F(ZflashDeviceTest, ARecordAfterATornLineStartsOnALineOfItsOwn)
{
    ASSERT_TRUE(StartSim());
    const std::string torn = (root / "torn.log").string();  // not *.jsonl: its first line is broken on purpose
    { std::ofstream(torn) << "{\"schema\":1,\"time\":\"2026-12"; }
    ASSERT_EQ(Zflash({"--log", torn, "capture", "--port", Port()}).exitCode, 0);
    std::ifstream in(torn);
    std::string first, second, rest;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first, "{\"schema\":1,\"time\":\"2026-12");
    std::ofstream(root / "repaired.jsonl") << second << "\n";  // validated with the others
    EXPECT_FALSE(std::getline(in, rest));
}

TEST_F(ZflashDeviceTest, AMissingRootIsBadInputWithARecordForEveryPort)
{
    ASSERT_TRUE(StartSim());
    SimDevice second(simOptions);
    ASSERT_TRUE(second.Start());
    const std::string missing = (root / "nowhere").string();
    const std::string log = (root / "root.jsonl").string();
    for (const std::vector<std::string> &ports :
         {std::vector<std::string>{"--port", Port()}, {"--port", Port(), "--port", second.PortPath()}}) {
        std::vector<std::string> args = {"--root", missing, "--log", log, "program"};
        args.insert(args.end(), ports.begin(), ports.end());
        EXPECT_EQ(RunZflash(args).exitCode, 2);
    }
    const std::vector<json> records = Records(log);
    ASSERT_EQ(records.size(), 3u);
    for (const json &r : records) {
        EXPECT_EQ(r["result"], "bad-input");
        EXPECT_EQ(r["failure"]["detail"],
                  "no such folder: " + missing + "/ (the folder of flashloader/ and firmware/).");
    }
    EXPECT_EQ(sim->Stats().captures + second.Stats().captures, 0u);
}

// One reply late past its time-out, end to end: zflash programs the device
// and exits 0 when the device answers the host's repeat without carrying it
// out again. A device that programs the repeated block again fails the
// verification, and a retry (erase, program, verify) cures it.
TEST_F(ZflashDeviceTest, ALateReplyEndsInAProgrammedDeviceOrInARetryThatCuresIt)
{
    // Blocks that differ from each other, so that a block written twice shows.
    std::string data = std::string(zftest::kNewestInfo) + '\0';
    for (int i = 0; data.size() < 3000; ++i)
        data += char((i * 31 + i / 256) & 0xFF);
    ASSERT_TRUE(WriteImageFile((firmwareDir / "fw_1_10_0.bin").string(), zftest::kNewestInfo, 0x08010000,
                               SplitIntoBlocks(data, 256)));
    const std::string log = (root / "late.jsonl").string();
    const struct {
        const char *fault;  // zsim's text form
        SimRepeats repeats;
        const char *retries;
        int exitCode, attempts;
    } cases[] = {
        {"late:190:5:1:450", SimRepeats::Once, "0", 0, 1},   // the sixth program block
        {"late:4:0:1:300", SimRepeats::Once, "0", 0, 1},     // the installed firmware, before the blank check
        {"late:190:5:1:450", SimRepeats::Twice, "0", 1, 1},  // verification finds the block written twice
        {"late:190:5:1:450", SimRepeats::Twice, "1", 0, 2},  // and the retry cures it
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.fault) + (c.repeats == SimRepeats::Once ? " once" : " twice"));
        SimFault late;
        ASSERT_TRUE(ParseSimFault(c.fault, late));
        simOptions.faults = {late};
        simOptions.repeats = c.repeats;
        ASSERT_TRUE(StartSim());
        const ZflashRun run = Zflash({"--log", log, "program", "--port", Port(), "--retries", c.retries});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(Records(log).back()["attempts"], c.attempts);
        EXPECT_EQ(sim->FlashContents() == data, c.exitCode == 0);
    }
}

// A block stored wrongly once (a reply lost after the device wrote it) is
// cured by programming again when asked to retry; the record keeps the passes.
TEST_F(ZflashDeviceTest, RetriesProgramAgainAfterAVerifyMismatchAndTheRecordCountsThePasses)
{
    SimUnit weak;
    weak.name = "weak";
    weak.weakBlock = 3;
    weak.weakPasses = 2;  // stored wrongly on the first two programming passes of its life
    simOptions.units = {weak};
    ASSERT_TRUE(StartSim());
    const std::string log = (root / "retries.jsonl").string();
    const struct {
        const char *retries;
        int exitCode, attempts;
        const char *result;
    } cases[] = {
        {"0", 1, 1, "failed"},  // pass 1 meets the weak block: without a retry that is the end
        {"1", 0, 2, "ok"},      // pass 2 meets it too, pass 3 cures it
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.retries);
        const ZflashRun run = Zflash({"--log", log, "program", "--port", Port(), "--retries", c.retries});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        const json r = Records(log).back();
        EXPECT_EQ(r["attempts"], c.attempts);
        EXPECT_EQ(r["result"], c.result);
    }
}
