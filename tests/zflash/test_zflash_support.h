// Runs the real zflash binary as a child process against the simulated device
// (in this process, on a pty) and a root tree of image files made for the test.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "station/child.h"
#include "tools/zsim/simdevice.h"

struct ZflashRun {
    int exitCode = -1;  // -1: killed after the time limit or by a signal
    std::string out, err;
};

// zflash beside the tests' build folder: <build>/bin/zflash.
std::string ZflashPath();

// One zflash child. Its standard error is a pipe, or with stderrOnTerminal the
// slave of a pseudo-terminal (what zflash then writes there is read as err).
class ZflashProcess {
public:
    // `stdoutFile`: standard output goes to that file (e.g. /dev/full) instead of a pipe.
    explicit ZflashProcess(const std::vector<std::string> &args, bool stderrOnTerminal = false,
                           const std::string &stdoutFile = std::string());
    ~ZflashProcess();
    ZflashProcess(const ZflashProcess &) = delete;
    ZflashProcess &operator=(const ZflashProcess &) = delete;

    // Reads output until `text` has appeared on stdout or stderr.
    bool WaitForText(const std::string &text, int timeoutMs);
    // What it wrote to standard error so far (as read by WaitForText).
    const std::string &ErrSoFar() const { return err; }
    void Signal(int signal);
    pid_t Pid() const { return pid_t(child.Pid()); }
    // Stops reading standard output, as `| head` does once it has its lines.
    void CloseStdout();
    // Waits for the exit (killing the child after timeoutMs) and returns all output.
    ZflashRun Finish(int timeoutMs = 60000);

private:
    void Pump(int timeoutMs);
    void Close(int &fd);

    Child child;
    int outFd = -1, errFd = -1;
    std::string out, err;
};

ZflashRun RunZflash(const std::vector<std::string> &args);
// zflash whose files may not grow beyond `bytes` (a full disk, as its writes see it).
ZflashRun RunZflashWithFileSizeLimit(const std::vector<std::string> &args, unsigned long long bytes);

// The records (the sessions' ends) of a --log file, in order.
std::vector<nlohmann::json> Records(const std::filesystem::path &log);
// The sessions' starts of a --log file, in order.
std::vector<nlohmann::json> Starts(const std::filesystem::path &log);
// Every entry of every *.jsonl file under `dir` is one the published schema
// accepts (scripts/validate-records), and (`requireEnded`) every session
// started there ended. The fixture checks its folder after every test, so
// every record a test makes is validated.
void ExpectValidRecords(const std::filesystem::path &dir, bool requireEnded = true);

namespace zftest {
extern const char *const kLoaderInfo;
extern const char *const kInstalledInfo;  // what the simulated device starts with
extern const char *const kNewestInfo;     // fw_1_10_0.bin
extern const char *const kOlderInfo;      // fw_1_2_0.bin
extern const char *const kLegacyInfo;     // legacy_0_9.bin: no hardware identifier
}  // namespace zftest

// A root folder with the flash loader and three firmware images for VKT3K,
// and a simulated VKT3K device.
class ZflashDeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    bool StartSim();
    std::string Port() const { return sim->PortPath(); }
    // Writes an image whose data begins with its information text.
    std::string WriteImage(const std::filesystem::path &path, const std::string &info,
                           size_t payload = 3000);
    // zflash with --root <root> and the given arguments.
    ZflashRun Zflash(std::vector<std::string> args);
    std::vector<std::string> WithRoot(std::vector<std::string> args) const;

    std::filesystem::path root;
    std::filesystem::path firmwareDir;
    SimOptions simOptions;
    std::unique_ptr<SimDevice> sim;
    bool ranBefore = false;  // Zflash() ran in this test already
};
