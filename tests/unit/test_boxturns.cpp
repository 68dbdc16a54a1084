// The order of the window's boxes, without a window: one at a time, notices
// in turn, a question about a programming run withdrawn when that run ends
// and its Yes void once another run (or none) is under way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/boxturns.h"

namespace {

Notice Named(const std::string &text, bool atExit = false)
{
    Notice n;
    n.text = text;
    n.atExit = atExit;
    return n;
}

std::vector<std::string> TakeAll(BoxTurns &turns)
{
    std::vector<std::string> shown;
    Notice n;
    while (turns.TakeTurn(n))
        shown.push_back(n.text);
    return shown;
}

}  // namespace

TEST(BoxTurns, ANoticeIsShownAtOnceOnlyWhileNoBoxIsOpenOrWaiting)
{
    BoxTurns turns;
    EXPECT_FALSE(turns.Busy());
    EXPECT_TRUE(turns.Offer(Named("at once")));
    turns.Opened();
    EXPECT_TRUE(turns.Busy());
    EXPECT_FALSE(turns.Offer(Named("first")));
    EXPECT_FALSE(turns.Offer(Named("second")));
    Notice n;
    EXPECT_FALSE(turns.TakeTurn(n)) << "never over an open box";
    EXPECT_TRUE(turns.Closed()) << "the last box closed with notices waiting";
    EXPECT_TRUE(turns.Busy()) << "a waiting notice keeps the window from the operator";
    EXPECT_FALSE(turns.Offer(Named("third"))) << "behind the others, not before them";
    EXPECT_EQ(TakeAll(turns), std::vector<std::string>({"first", "second", "third"}));
    EXPECT_FALSE(turns.Busy());
    EXPECT_FALSE(turns.Closed()) << "no box was open";
}

TEST(BoxTurns, AQuestionIsWithdrawnOnlyWhenItsOwnRunEnds)
{
    const struct {
        const char *situation;
        unsigned asked, ended;
        bool closeBoxFirst, withdrawn;
    } cases[] = {
        {"its run ends", 3, 3, false, true},
        {"an earlier run ends", 3, 2, false, false},
        {"a later run ends", 3, 4, false, false},
        {"a box about no run", 0, 0, false, false},
        {"its run ends after it was answered", 3, 3, true, false},
    };
    for (const auto &c : cases) {
        BoxTurns turns;
        turns.Opened(c.asked);
        if (c.closeBoxFirst)
            turns.Closed();
        EXPECT_EQ(turns.RunEnded(c.ended), c.withdrawn) << c.situation;
        EXPECT_FALSE(turns.RunEnded(c.ended)) << c.situation << ": withdrawn twice";
    }
}

TEST(BoxTurns, TheNextBoxAsksAboutItsOwnRun)
{
    BoxTurns turns;
    turns.Opened(1);
    EXPECT_TRUE(turns.RunEnded(1));
    turns.Closed();
    turns.Opened();
    EXPECT_FALSE(turns.RunEnded(1)) << "a notice is no question";
    turns.Closed();
    turns.Opened(2);
    EXPECT_FALSE(turns.RunEnded(1));
    EXPECT_TRUE(turns.RunEnded(2));
}

TEST(BoxTurns, AYesEndsOnlyTheRunItAskedAboutWhileThatRunIsUnderWay)
{
    const int yes = 6, no = 7, withdrawn = 0;
    const struct {
        const char *situation;
        int answer;
        unsigned asked, underWay;
        bool ends;
    } cases[] = {
        {"Yes, its run under way", yes, 5, 5, true},
        {"No, its run under way", no, 5, 5, false},
        {"withdrawn", withdrawn, 5, 5, false},
        {"Yes after its run ended, none under way", yes, 5, 0, false},
        {"Yes after its run ended, a later one under way", yes, 5, 6, false},
        {"Yes about no run", yes, 0, 0, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(YesEndsRun(c.answer, yes, c.asked, c.underWay), c.ends) << c.situation;
}

TEST(BoxTurns, OnlyTheNoticesThatMustBeSeenOutliveTheWindow)
{
    BoxTurns turns;
    turns.Opened(1);
    turns.Offer(Named("Programming complete."));
    turns.Offer(Named("record lost", true));
    const std::deque<Notice> kept = turns.TakeExitNotices();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.front().text, "record lost");
    EXPECT_FALSE(turns.Closed()) << "nothing waits any more";
}
