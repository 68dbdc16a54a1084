// The quiet line before the first request on a fresh line: after the port is
// opened, after the device is captured and after the rate changes (the flash
// loader's start) Transact reads until the line has been quiet for one read
// timeout, so that a device still starting up hears the request; between the
// commands of a running exchange it does not wait.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "tests/support/target_harness.h"
#include "targetlib/transact.h"

TEST_F(SimTargetTest, TheFirstRequestAtTheLoadersRateWaitsUntilTheLoaderListens)
{
    SimOptions options;
    options.loaderDeafMs = 8;  // a loader that takes 8 ms to start and re-clock
    Connect(options);
    IMG loader = LoaderImage(921600, 600);
    bool started = false;
    Printed([&] { started = RAMExec(&loader, false, 921600); });
    ASSERT_TRUE(started);
    sim->ResetStats();
    ResetTransactTimes();

    std::string info;
    Printed([&] { info = GetInfo(2); });

    EXPECT_EQ(info, sim->InstalledInfo());
    // Heard and answered at its first attempt.
    EXPECT_EQ(GetTransactTimes().requests, 1ul);
    EXPECT_EQ(sim->Stats().bytesUnheard, 0u);
    EXPECT_EQ(sim->Stats().commands, std::vector<int>{CmdGetInfo});
}

TEST_F(SimTargetTest, OnlyTheFirstRequestOnAFreshLineWaitsForQuiet)
{
    Connect();  // opened and captured
    ResetTransactTimes();
    Printed([] {
        Query("HW");
        Query("HW");
    });
    EXPECT_EQ(GetTransactTimes().calls, 2ul);
    EXPECT_EQ(GetTransactTimes().quietDrains, 1ul);
    // At least one read timeout of quiet line (10 ms after OpenPort).
    EXPECT_GE(GetTransactTimes().quietSeconds, 0.009);

    IMG loader = LoaderImage(115200, 600);
    bool started = false;
    Printed([&] { started = RAMExec(&loader, false, 115200); });  // its blocks follow each other
    ASSERT_TRUE(started);
    EXPECT_EQ(GetTransactTimes().quietDrains, 1ul);
    Printed([] {
        GetInfo(2);
        GetInfo(2);
    });
    EXPECT_EQ(GetTransactTimes().quietDrains, 2ul);
}

TEST_F(PtyTargetTest, TheFirstRequestAfterOpeningWaitsForQuiet)
{
    line.Answer([](const std::string &) { return FrameOf(0, "ok"); });
    ResetTransactTimes();
    Printed([] { Query("HW"); });
    EXPECT_EQ(GetTransactTimes().quietDrains, 1ul);
    EXPECT_GE(GetTransactTimes().quietSeconds, 0.009);
}

// A line that never falls quiet (a board printing on the wrong port) must not
// hold the first request back for good.
TEST_F(PtyTargetTest, ALineThatNeverFallsQuietIsSentToAnyway)
{
    line.Answer([](const std::string &) { return FrameOf(0, "ok"); });
    ResetTransactTimes();
    std::atomic<bool> talking{true};
    std::thread talker([&] {
        while (talking) {
            line.Send("log line\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::future<std::string> answer = std::async(std::launch::async, [] {
        std::string got;
        Printed([&] { got = Query("HW"); });
        return got;
    });
    const bool returned = answer.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    talking = false;  // ends a drain still waiting for silence: the test ends either way
    talker.join();
    EXPECT_TRUE(returned) << "the first request waited for a silence that never came";
    EXPECT_EQ(answer.get(), "ok");
    EXPECT_EQ(GetTransactTimes().quietDrains, 1ul);
}
