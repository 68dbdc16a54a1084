// Progress reports: one WM_APP_PROGRESS per whole percentage and phase.
#include <gtest/gtest.h>

#include "tests/support/message_recorder.h"

namespace {

class ProgressCallbackTest : public ::testing::Test {
protected:
    void SetUp() override { ResetProgressThrottle(); }
    void TearDown() override { ResetProgressThrottle(); }

    std::vector<std::pair<uintptr_t, intptr_t>> Posted() const
    {
        std::vector<std::pair<uintptr_t, intptr_t>> out;
        for (const PostedMessage &m : recorder.Of(WM_APP_PROGRESS))
            out.push_back({m.wParam, m.lParam});
        return out;
    }

    MessageRecorder recorder;
};

using Reports = std::vector<std::pair<uintptr_t, intptr_t>>;

TEST_F(ProgressCallbackTest, FirstCallPostsItsPercentAndPhase)
{
    ProgressCallback(PhaseProgram, 1, 4);

    EXPECT_EQ((Reports{{25, PhaseProgram}}), Posted());
}

TEST_F(ProgressCallbackTest, FirstCallPostsEvenAtZeroPercentInTheInitialPhase)
{
    ProgressCallback(PhaseRAMExec, 1, 1000);

    EXPECT_EQ((Reports{{0, PhaseRAMExec}}), Posted());
}

TEST_F(ProgressCallbackTest, TotalOfZeroOrLessReportsZeroPercent)
{
    ProgressCallback(PhaseVerify, 3, 0);
    ProgressCallback(PhaseProgram, 3, -2);

    EXPECT_EQ((Reports{{0, PhaseVerify}, {0, PhaseProgram}}), Posted());
}

TEST_F(ProgressCallbackTest, PercentIsTruncated)
{
    ProgressCallback(PhaseRAMExec, 2, 3);

    EXPECT_EQ((Reports{{66, PhaseRAMExec}}), Posted());
}

TEST_F(ProgressCallbackTest, SameWholePercentAndPhasePostsOnce)
{
    ProgressCallback(PhaseProgram, 1, 300);
    ProgressCallback(PhaseProgram, 2, 300);

    EXPECT_EQ((Reports{{0, PhaseProgram}}), Posted());
}

TEST_F(ProgressCallbackTest, PhaseChangeAtTheSamePercentPostsAgain)
{
    ProgressCallback(PhaseProgram, 4, 4);
    ProgressCallback(PhaseVerify, 4, 4);

    EXPECT_EQ((Reports{{100, PhaseProgram}, {100, PhaseVerify}}), Posted());
}

TEST_F(ProgressCallbackTest, ThousandBlocksPostEachWholePercentOnceInOrder)
{
    for (int done = 1; done <= 1000; ++done)
        ProgressCallback(PhaseProgram, done, 1000);

    const Reports posted = Posted();
    ASSERT_EQ(101u, posted.size());
    for (size_t i = 0; i < posted.size(); ++i)
        EXPECT_EQ(i, posted[i].first);
}

TEST_F(ProgressCallbackTest, NextOperationStartingAtTheLastReportPostsNothing)
{
    ProgressCallback(PhaseProgram, 8, 8);
    recorder.Clear();

    ProgressCallback(PhaseProgram, 8, 8);

    EXPECT_TRUE(Posted().empty());
}

TEST_F(ProgressCallbackTest, LargeCountsDoNotOverflowThePercentage)
{
    ProgressCallback(PhaseProgram, 2000000000, 2000000000);

    EXPECT_EQ((Reports{{100, PhaseProgram}}), Posted());
}

}  // namespace
