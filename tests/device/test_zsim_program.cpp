// The zsim program in a fixture: its units, its operator and its control
// FIFO, as a test script drives them, and the counters it prints at the end.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kAnnouncement = "Zelvo Boot Loader";

// <build>/tools/zsim/zsim, beside the tests' folder <build>/tests.
std::string ZsimPath()
{
    return (fs::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "zsim" / "zsim").string();
}

// Reads what arrives on `fd` into `into` until it holds `text`; false after `ms`.
bool ReadUntil(int fd, std::string &into, const std::string &text, int ms)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (into.find(text) == std::string::npos && Clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        char buf[4096];
        if (poll(&p, 1, 20) == 1 && (p.revents & POLLIN)) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0)
                into.append(buf, size_t(n));
        }
    }
    return into.find(text) != std::string::npos;
}

// zsim as a child, its standard output and error on one pipe.
class Zsim {
public:
    explicit Zsim(const std::vector<std::string> &args)
    {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        std::vector<std::string> argv{ZsimPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char *> cargs;
        for (std::string &a : argv)
            cargs.push_back(a.data());
        cargs.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        if (posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        out = pipeFds[0];
    }
    ~Zsim()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(out);
    }
    Zsim(const Zsim &) = delete;
    Zsim &operator=(const Zsim &) = delete;

    bool Says(const std::string &text, int ms = 10000) { return ReadUntil(out, said, text, ms); }
    // Its exit status once it has ended (-1: it did not end within `ms`),
    // with all it said.
    int Ended(int ms = 10000)
    {
        int status = 0;
        pid_t done = 0;
        const auto until = Clock::now() + std::chrono::milliseconds(ms);
        while ((done = waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < until)
            Drain(20);
        if (done != pid)
            return -1;
        pid = -1;
        while (Drain(100)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Signal(int sig) { kill(pid, sig); }
    std::string said;

private:
    // Reads what it has said within `ms`; false when nothing came or the pipe ended.
    bool Drain(int ms)
    {
        pollfd p{out, POLLIN, 0};
        char buf[4096];
        const ssize_t n = poll(&p, 1, ms) == 1 ? read(out, buf, sizeof buf) : 0;
        if (n > 0)
            said.append(buf, size_t(n));
        return n > 0;
    }

    pid_t pid = -1;
    int out = -1;
};

class ZsimProgramTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (host >= 0)
            close(host);
        fs::remove(link);
        fs::remove(fifo);
    }
    // The host opens the link raw at 115200 and reads the announcement.
    void OpenHost()
    {
        host = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(host, 0);
        termios t;
        tcgetattr(host, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(host, TCSANOW, &t);
    }
    void Capture()
    {
        std::string got;
        ASSERT_TRUE(ReadUntil(host, got, kAnnouncement, 5000));
        ASSERT_EQ(write(host, "TargetStop!", 11), 11);
        ASSERT_TRUE(ReadUntil(host, got, std::string("\x81\xA1\0\0\0\0", 6), 5000));
    }
    void Command(const std::string &line)
    {
        const int fd = open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, (line + "\n").data(), line.size() + 1), ssize_t(line.size() + 1));
        close(fd);
    }

    const std::string tag = std::to_string(getpid()) + "_" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path link = fs::temp_directory_path() / ("zf_zsim_link_" + tag);
    const fs::path fifo = fs::temp_directory_path() / ("zf_zsim_fifo_" + tag);
    int host = -1;
};

}  // namespace

TEST_F(ZsimProgramTest, ACommandFifoSwapsReseatsAndUnplugsAndTheCountersComeAtTheEnd)
{
    Zsim zsim({"--link", link.string(), "--control", fifo.string(), "--announce-gap-ms", "10", "--unit",
               "2*fw=old", "--unit", "name=Q,hw=VKTQ1,fw=blank"});
    ASSERT_TRUE(zsim.Says("zsim: device on " + link.string() + "\n")) << zsim.said;
    OpenHost();
    Capture();
    const struct {
        const char *command, *says;
    } steps[] = {
        {"out", "zsim: unit #1 taken out\n"},
        {"in", "zsim: unit #2 plugged in\n"},
        {"swap 20", "zsim: unit Q plugged in\n"},
        {"reseat", "zsim: unit Q re-seated\n"},
        {"in", "zsim: no unit in line to plug in\n"},
        {"unplug 30", "zsim: adapter plugged back\n"},
        {"stats", "zsim: fixture plugged=3 reseated=1 taken-out=2 units-programmed=0"},
    };
    for (const auto &step : steps) {
        Command(step.command);
        EXPECT_TRUE(zsim.Says(step.says)) << step.command << "\n" << zsim.said;
    }
    EXPECT_TRUE(fs::is_symlink(link)) << "back under its name";
    close(host);
    OpenHost();
    Capture();  // unit Q, announcing since its re-seat
    Command("quit");
    EXPECT_EQ(zsim.Ended(), 0);
    const size_t q = zsim.said.find("zsim: unit Q hw=VKTQ1 power-ups=2 captures=1 program-passes=0 verify-passes=0 "
                                    "verify-failures=0 served-ms=");
    ASSERT_NE(q, std::string::npos) << zsim.said;
    EXPECT_NE(zsim.said.find(" version=blank\n", q), std::string::npos) << zsim.said;
    EXPECT_FALSE(fs::exists(fifo)) << "zsim made the FIFO, zsim removes it";
}

TEST_F(ZsimProgramTest, TheOperatorSwapsUnitsOnceTheHostGoesQuiet)
{
    Zsim zsim({"--link", link.string(), "--announce-gap-ms", "10", "--unit", "2*fw=blank", "--auto-swap", "100",
               "--plug-pause-ms", "10-20", "--seed", "3"});
    ASSERT_TRUE(zsim.Says("zsim: device on ")) << zsim.said;
    OpenHost();
    Capture();
    EXPECT_TRUE(zsim.Says("zsim: unit #2 plugged in\n")) << zsim.said;
    Capture();
    EXPECT_TRUE(zsim.Says("zsim: the line of units has ended\n")) << zsim.said;
    zsim.Signal(SIGTERM);
    EXPECT_EQ(zsim.Ended(), 0);
    EXPECT_NE(zsim.said.find("zsim: fixture plugged=2 reseated=0 taken-out=2 "), std::string::npos) << zsim.said;
}

// --log-time: a script that reads the log late still knows when each line
// was written, on the clock it reads itself (CLOCK_MONOTONIC).
TEST_F(ZsimProgramTest, LogTimeGivesEachLogLineTheMomentItWasWritten)
{
    const auto Now = [] {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    };
    const double before = Now();
    Zsim zsim({"--link", link.string(), "--announce-gap-ms", "10", "--log", "--log-time"});
    ASSERT_TRUE(zsim.Says("zsim: device on ")) << zsim.said;
    OpenHost();
    Capture();
    ASSERT_TRUE(zsim.Says("zsim: capture request: captured")) << zsim.said;
    const double after = Now();
    const size_t at = zsim.said.find("zsim: capture request: captured");
    const size_t start = zsim.said.rfind('\n', at) + 1;  // npos + 1: the first line
    ASSERT_LT(start + 2, at) << zsim.said;
    const double written = std::stod(zsim.said.substr(start, at - start));
    EXPECT_GE(written, before);
    EXPECT_LE(written, after);
}

TEST(ZsimProgramOptions, WrongFixtureOptionsEndItBeforeItStarts)
{
    const struct {
        std::vector<std::string> args;
        const char *says;
    } rows[] = {
        {{"--unit", "fw=current"}, "zsim: bad unit \"fw=current\": fw=current needs"},
        {{"--unit", "0*fw=old"}, "zsim: bad unit \"0*fw=old\": a count from 1 to 1000000"},
        {{"--plug-pause-ms", "900-300"}, "zsim: bad --plug-pause-ms \"900-300\""},
        {{"--current-image", "/nonexistent/zf.img"}, "zsim: /nonexistent/zf.img is no image file"},
        {{"--control", "/nonexistent/zf/fifo"}, "zsim: cannot make or open the control FIFO"},
    };
    for (const auto &row : rows) {
        Zsim zsim(row.args);
        EXPECT_NE(zsim.Ended(), 0) << row.says;
        EXPECT_NE(zsim.said.find(row.says), std::string::npos) << zsim.said;
        EXPECT_EQ(zsim.said.find("device on"), std::string::npos) << zsim.said;
    }
}
