#include "tests/zflash/test_zflash_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/support/eventually.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace zftest {
const char *const kLoaderInfo = "VN:1.0.4\r\nBR:921600\r\n";
const char *const kInstalledInfo = "VN:1.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-01-15 10:00\r\n";
const char *const kNewestInfo = "VN:1.10.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-03-01 12:00\r\n";
const char *const kOlderInfo = "VN:1.2.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2025-11-20 09:30\r\n";
const char *const kLegacyInfo = "VN:0.9\r\nMD:VKT-3\r\nTS:2024-06-11 14:30\r\n";
}  // namespace zftest

std::string ZflashPath()
{
    char self[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    fs::path exe(std::string(self, n > 0 ? static_cast<size_t>(n) : 0));
    return (exe.parent_path().parent_path() / "bin" / "zflash").string();
}

ZflashProcess::ZflashProcess(const std::vector<std::string> &args, bool stderrOnTerminal,
                             const std::string &stdoutFile)
{
    ChildOptions options;
    options.program = ZflashPath();
    options.outFile = stdoutFile;
    options.err = ChildOptions::Pipe;
    options.in = ChildOptions::Inherit;
    options.ownProcessGroup = false;
    int terminal = -1;  // the slave of a pseudo-terminal for standard error
    if (stderrOnTerminal) {
        errFd = posix_openpt(O_RDWR | O_NOCTTY);
        if (errFd >= 0 && grantpt(errFd) == 0 && unlockpt(errFd) == 0)
            terminal = open(ptsname(errFd), O_RDWR | O_NOCTTY);
        options.errFd = terminal;
    }
    std::string error;
    child.Start(args, error, options);
    if (terminal >= 0)
        close(terminal);
    outFd = child.OutputFd();
    if (!stderrOnTerminal)
        errFd = child.ErrorFd();
}

ZflashProcess::~ZflashProcess()
{
    child.Signal(SIGKILL);
    if (errFd >= 0 && errFd != child.ErrorFd())
        close(errFd);
}

void ZflashProcess::Pump(int timeoutMs)
{
    struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0)
        return;
    std::string *sinks[2] = {&out, &err};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buf[4096];
        ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n > 0)
            sinks[i]->append(buf, static_cast<size_t>(n));
        else  // end of the pipe, or EIO once the terminal's slave is closed
            Close(i == 0 ? outFd : errFd);
    }
}

bool ZflashProcess::WaitForText(const std::string &text, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.find(text) == std::string::npos && err.find(text) == std::string::npos) {
        if (Clock::now() > deadline || (outFd < 0 && errFd < 0))
            return false;
        Pump(50);
    }
    return true;
}

void ZflashProcess::Close(int &fd)
{
    if (fd < 0)
        return;
    if (fd == child.OutputFd())
        child.CloseOutput();
    else if (fd == child.ErrorFd())
        child.CloseError();
    else
        close(fd);
    fd = -1;
}

void ZflashProcess::Signal(int signal) { child.Signal(signal); }

void ZflashProcess::CloseStdout() { Close(outFd); }

ZflashRun ZflashProcess::Finish(int timeoutMs)
{
    ZflashRun run;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool exited = false;
    while (!exited && Clock::now() < deadline) {
        Pump(50);
        exited = child.Ended();
    }
    if (!exited)
        child.Signal(SIGKILL);
    const int code = child.Wait();
    while (outFd >= 0 || errFd >= 0)  // what is left in the pipes
        Pump(200);
    run.exitCode = exited ? code : -1;
    run.out = out;
    run.err = err;
    return run;
}

ZflashRun RunZflash(const std::vector<std::string> &args)
{
    return ZflashProcess(args).Finish();
}

void ZflashDeviceTest::SetUp()
{
    static int serial = 0;
    root = fs::temp_directory_path() /
           ("zf_cli_" + std::to_string(getpid()) + "_" + std::to_string(++serial));
    firmwareDir = root / "firmware" / "VKT3" / "VKT3K";
    WriteImage(root / "flashloader" / "VKT3" / "VKT3K" / "vkt3_flash_v1_0_4.img",
               zftest::kLoaderInfo, 2000);
    WriteImage(firmwareDir / "fw_1_10_0.bin", zftest::kNewestInfo);
    WriteImage(firmwareDir / "fw_1_2_0.bin", zftest::kOlderInfo);
    WriteImage(firmwareDir / "legacy_0_9.bin", zftest::kLegacyInfo);
    simOptions.hw = "VKT3K";
    simOptions.installedInfo = zftest::kInstalledInfo;
}

void ZflashDeviceTest::TearDown()
{
    sim.reset();
    ExpectValidRecords(root);
    std::error_code ec;
    fs::remove_all(root, ec);
}

namespace {

std::vector<nlohmann::json> Entries(const fs::path &log, bool starts)
{
    std::vector<nlohmann::json> entries;
    std::ifstream in(log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Whole lines only: a last line without its end is still being written
    // (a test may read while the station runs).
    size_t end = 0;
    for (size_t at = 0; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        EXPECT_TRUE(entry.is_object()) << log << ": " << line;
        if ((entry.value("event", "end") == "start") == starts)
            entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

std::vector<nlohmann::json> Records(const fs::path &log)
{
    return Entries(log, false);
}

std::vector<nlohmann::json> Starts(const fs::path &log)
{
    return Entries(log, true);
}

void ExpectValidRecords(const fs::path &dir, bool requireEnded)
{
    std::vector<std::string> logs;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".jsonl")
            logs.push_back(it->path().string());
    if (logs.empty())
        return;
    std::string command =
        std::string("/usr/bin/python3 ") + ZF_SOURCE_DIR + "/scripts/validate-records" + (requireEnded ? " --require-ended" : "");
    for (const std::string &log : logs)
        command += " '" + log + "'";
    std::string report;
    FILE *out = popen((command + " 2>&1").c_str(), "r");
    ASSERT_NE(out, nullptr);
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, out)) > 0;)
        report.append(buffer, n);
    const int status = pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
}

ZflashRun RunZflashWithFileSizeLimit(const std::vector<std::string> &args, unsigned long long bytes)
{
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit limited = old;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
    ZflashProcess zflash(args);  // inherits the limit
    setrlimit(RLIMIT_FSIZE, &old);
    return zflash.Finish();
}

bool ZflashDeviceTest::StartSim()
{
    sim.reset(new SimDevice(simOptions));
    return sim->Start();
}

std::string ZflashDeviceTest::WriteImage(const fs::path &path, const std::string &info, size_t payload)
{
    fs::create_directories(path.parent_path());
    std::string data = info + '\0' + std::string(payload, '\x5A');
    EXPECT_TRUE(WriteImageFile(path.string(), info, 0x08010000, SplitIntoBlocks(data, 256)));
    return path.string();
}

std::vector<std::string> ZflashDeviceTest::WithRoot(std::vector<std::string> args) const
{
    args.insert(args.begin(), {"--root", root.string()});
    return args;
}

ZflashRun ZflashDeviceTest::Zflash(std::vector<std::string> args)
{
    // A run after another must meet a device that has seen the last one
    // close the port (and power-cycled): on a loaded machine it notices late.
    if (sim && ranBefore) {
        EXPECT_TRUE(Eventually([this] { return !sim->HostOpen(); })) << "the device did not see the port close";
    }
    ranBefore = true;
    return RunZflash(WithRoot(std::move(args)));
}
