// The simulator's USB serial adapter: what it holds back toward the host and
// for how long, and a host that changes its latency timer file mid-session.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/target_harness.h"
#include "targetlib/transact.h"
#include "tools/zsim/sim_adapter.h"

namespace {

using Clock = SimAdapter::Clock;
using std::chrono::milliseconds;

class SimAdapterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        timerFile = std::filesystem::temp_directory_path() /
                    ("zf_sim_timer_" + std::to_string(getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        SetTimer("16\n");
        adapter.SetTimerFile(timerFile.string());
    }
    void TearDown() override { std::filesystem::remove(timerFile); }
    void SetTimer(const std::string &text) { std::ofstream(timerFile, std::ios::trunc) << text; }

    std::filesystem::path timerFile;
    SimAdapter adapter;
    Clock::time_point t0 = Clock::now();
};

}  // namespace

TEST_F(SimAdapterTest, AShortReplyWaitsTheWholeTimerFromItsFirstByte)
{
    EXPECT_EQ(adapter.Push("abc", t0, false).bytes, "");
    EXPECT_EQ(adapter.Push("def", t0 + milliseconds(5), false).bytes, "");
    ASSERT_TRUE(adapter.Deadline());
    EXPECT_EQ(*adapter.Deadline(), t0 + milliseconds(16));
    EXPECT_EQ(adapter.Due(t0 + milliseconds(15)).bytes, "");
    SimAdapter::Output out = adapter.Due(t0 + milliseconds(16));
    EXPECT_EQ(out.bytes, "abcdef");
    EXPECT_FALSE(out.droppable);
    EXPECT_FALSE(adapter.Deadline());
}

TEST_F(SimAdapterTest, WholePacketsOf62BytesPassAtOnceAndTheRestWaits)
{
    const std::string reply(130, 'x');
    EXPECT_EQ(adapter.Push(reply, t0, false).bytes.size(), 124u);
    EXPECT_EQ(adapter.Due(t0 + milliseconds(16)).bytes.size(), 6u);
}

TEST_F(SimAdapterTest, TheTimerIsReadWhenTheBufferStartsToFillSoAChangeActsOnTheNextReply)
{
    adapter.Push("a", t0, false);
    SetTimer("1\n");
    adapter.Push("b", t0, false);
    EXPECT_EQ(*adapter.Deadline(), t0 + milliseconds(16));
    adapter.Due(t0 + milliseconds(16));
    adapter.Push("c", t0 + milliseconds(20), false);
    EXPECT_EQ(*adapter.Deadline(), t0 + milliseconds(21));
    EXPECT_EQ(adapter.TimerMs(), 1);
}

TEST_F(SimAdapterTest, AFileBeingRewrittenOrNotANumberKeepsTheLastTimer)
{
    for (const char *text : {"", "0\n", "256\n", "fast\n"}) {
        SetTimer(text);
        adapter.Push("a", t0, false);
        EXPECT_EQ(adapter.TimerMs(), 16) << text;
        adapter.Clear();
    }
    EXPECT_FALSE(adapter.Deadline());
}

TEST_F(SimAdapterTest, HeldAnnouncementsMayBeDroppedButNotWhenAReplyJoinsThem)
{
    adapter.Push("Zelvo", t0, true);
    EXPECT_TRUE(adapter.Due(t0 + milliseconds(16)).droppable);
    adapter.Push("Zelvo", t0, true);
    adapter.Push("ack", t0, false);
    EXPECT_FALSE(adapter.Due(t0 + milliseconds(16)).droppable);
}

// Through the whole device: replies carry the timer the file holds when they
// start, and the host sees them all.
class SimAdapterDeviceTest : public SimTargetTest {
protected:
    void TearDown() override
    {
        SimTargetTest::TearDown();
        std::filesystem::remove(timerFile);
    }
    std::filesystem::path timerFile =
        std::filesystem::temp_directory_path() / ("zf_sim_device_timer_" + std::to_string(getpid()));
};

TEST_F(SimAdapterDeviceTest, RepliesFollowTheTimerFileAsTheHostChangesIt)
{
    std::ofstream(timerFile) << "16\n";
    SimOptions options;
    options.adapter = true;
    options.latencyTimerFile = timerFile.string();
    Connect(options);
    std::string hw;
    Printed([&] { hw = Query("HW"); });
    EXPECT_EQ(hw, options.hw);
    std::ofstream(timerFile, std::ios::trunc) << "1\n";
    Printed([&] { hw = Query("HW"); });
    EXPECT_EQ(hw, options.hw);

    const SimStats stats = sim->Stats();
    const std::vector<std::pair<int, int>> expected = {{CmdQuery, 16}, {CmdQuery, 1}};
    EXPECT_EQ(stats.adapterTimers, expected);
}
