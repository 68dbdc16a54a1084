#include "tests/zflash/test_zflash_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>

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
    int outPipe[2];
    int errPair[2] = {-1, -1};  // [0]: read here, [1]: the child's stderr
    if (pipe(outPipe) != 0)
        return;
    if (stderrOnTerminal) {
        errPair[0] = posix_openpt(O_RDWR | O_NOCTTY);
        if (errPair[0] >= 0 && grantpt(errPair[0]) == 0 && unlockpt(errPair[0]) == 0)
            errPair[1] = open(ptsname(errPair[0]), O_RDWR | O_NOCTTY);
    } else if (pipe(errPair) != 0) {
        errPair[0] = errPair[1] = -1;
    }
    std::vector<std::string> argv = {ZflashPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> cargs;
    for (std::string &a : argv)
        cargs.push_back(&a[0]);
    cargs.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFile.empty())
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errPair[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPair[0]);
    if (posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPair[1]);
    outFd = outPipe[0];
    errFd = errPair[0];
}

ZflashProcess::~ZflashProcess()
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (outFd >= 0)
        close(outFd);
    if (errFd >= 0)
        close(errFd);
}

void ZflashProcess::Pump(int timeoutMs)
{
    struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0)
        return;
    std::string *sinks[2] = {&out, &err};
    int *owners[2] = {&outFd, &errFd};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buf[4096];
        ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n > 0) {
            sinks[i]->append(buf, static_cast<size_t>(n));
        } else {  // end of the pipe, or EIO once the terminal's slave is closed
            close(*owners[i]);
            *owners[i] = -1;
        }
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

void ZflashProcess::Signal(int signal)
{
    if (pid > 0)
        kill(pid, signal);
}

void ZflashProcess::CloseStdout()
{
    if (outFd >= 0)
        close(outFd);
    outFd = -1;
}

ZflashRun ZflashProcess::Finish(int timeoutMs)
{
    ZflashRun run;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    bool exited = false;
    while (pid > 0 && !exited && Clock::now() < deadline) {
        Pump(50);
        exited = waitpid(pid, &status, WNOHANG) == pid;
    }
    if (!exited && pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    pid = -1;
    while (outFd >= 0 || errFd >= 0)  // what is left in the pipes
        Pump(200);
    run.exitCode = exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

std::vector<nlohmann::json> Records(const fs::path &log)
{
    std::vector<nlohmann::json> records;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        EXPECT_TRUE(record.is_object()) << log << ": " << line;
        records.push_back(std::move(record));
    }
    return records;
}

void ExpectValidRecords(const fs::path &dir)
{
    std::vector<std::string> logs;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".jsonl")
            logs.push_back(it->path().string());
    if (logs.empty())
        return;
    std::string command = std::string("/usr/bin/python3 ") + ZF_SOURCE_DIR + "/scripts/validate-records";
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
    return RunZflash(WithRoot(std::move(args)));
}
