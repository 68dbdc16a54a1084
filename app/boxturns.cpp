#include "app/boxturns.h"

void BoxTurns::Opened(unsigned aboutRun)
{
    if (open_++ == 0)
        questionRun_ = aboutRun;
}

bool BoxTurns::Closed()
{
    if (open_ > 0)
        open_--;
    if (open_ == 0)
        questionRun_ = 0;
    return open_ == 0 && !waiting_.empty();
}

bool BoxTurns::Offer(const Notice &notice)
{
    if (!Busy())
        return true;
    waiting_.push_back(notice);
    return false;
}

bool BoxTurns::TakeTurn(Notice &notice)
{
    if (open_ > 0 || waiting_.empty())
        return false;
    notice = waiting_.front();
    waiting_.pop_front();
    return true;
}

std::deque<Notice> BoxTurns::TakeExitNotices()
{
    std::deque<Notice> kept;
    for (Notice &n : waiting_)
        if (n.atExit)
            kept.push_back(n);
    waiting_.clear();
    return kept;
}

bool BoxTurns::RunEnded(unsigned run)
{
    if (run == 0 || open_ == 0 || questionRun_ != run)
        return false;
    questionRun_ = 0;
    return true;
}

bool YesEndsRun(int answer, int yes, unsigned askedRun, unsigned runUnderWay)
{
    return answer == yes && askedRun != 0 && askedRun == runUnderWay;
}
