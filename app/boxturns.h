// The order of the window's modal boxes, without a window. One box at a
// time: a box that opens over another disables and, when it closes,
// enables the main window again while the first is still open, so a notice
// that comes while a box is open (a programming run's result, a record
// that could not be written) waits its turn, in order. A question about a
// programming run (closing the window while it writes the device) belongs
// to that run: it is withdrawn when the run ends, and its Yes counts only
// while the run it asked about is still the one under way.
#pragma once

#include <deque>
#include <functional>
#include <string>

// A box with only OK.
struct Notice {
    std::string text, caption;
    unsigned type = 0;
    std::function<void()> then;  // after OK, unless the window is going
    bool atExit = false;         // still shown when the window goes first
};

class BoxTurns {
public:
    // A modal box (or dialog) of the window opens and closes; `aboutRun`: the
    // programming run the box asks about (0: none).
    void Opened(unsigned aboutRun = 0);
    // True when the last open box closed and a notice waits for its turn.
    bool Closed();
    bool AnyOpen() const { return open_ > 0; }
    // Open, or a notice waits: the main window is not the operator's now.
    bool Busy() const { return open_ > 0 || !waiting_.empty(); }

    // A notice to show: true when it is its turn now (the caller shows it);
    // otherwise it waits.
    bool Offer(const Notice &notice);
    // The next waiting notice, when no box is open; false when none.
    bool TakeTurn(Notice &notice);
    // Every waiting notice that is shown even when the window goes first.
    std::deque<Notice> TakeExitNotices();

    // Run `run` ended: true when the open question asked about it (the
    // window takes that box away; its answer no longer counts).
    bool RunEnded(unsigned run);

private:
    int open_ = 0;
    unsigned questionRun_ = 0;  // the run the open question asks about
    std::deque<Notice> waiting_;
};

// A Yes to the question about `askedRun` ends the run only while that run is
// the one under way (`runUnderWay`, 0: none); any other answer, a question
// withdrawn, or a Yes about a run that has ended never does.
bool YesEndsRun(int answer, int yes, unsigned askedRun, unsigned runUnderWay);
