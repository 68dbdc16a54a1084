#include "station/session_view.h"

#include <atomic>

namespace {

QuietSessionView silent;  // until a front end sets its own
std::atomic<SessionView *> view{&silent};

}  // namespace

void SetSessionView(SessionView *newView)
{
    view = newView ? newView : &silent;
}

SessionView &View()
{
    return *view.load();
}
