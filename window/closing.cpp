// Closing the window. While a programming run writes the device the operator
// is asked first, and a Return pressed out of habit answers No. The question
// belongs to the run it asks about (app/boxturns.h): when that run ends while
// it is open, it is taken away and the run's result is shown instead; a Yes
// closes the window only while that same run is still under way, so an old
// question can never end a later run. Whatever ends the window writes the
// record of the run under way, and of a run whose record waits for its
// query, before the process ends.
#include "app/appstate.h"
#include "window/window.h"

namespace {

// Looks at posted messages only: messages sent from elsewhere (another
// program asking, Windows ending the session) are not handled half-way
// through a decision.
const UINT kPostedOnly = PM_QS_POSTMESSAGE;

const char kCloseQuestion[] =
    "Programming is in progress. Closing now leaves the device without working firmware.\n\nClose anyway?";

// The run whose worker still runs, as far as the window can know: one whose
// completion is already on its way has ended.
unsigned RunStillUnderWay()
{
    return CompletionOnItsWay() ? 0 : RunUnderWay();
}

// A completion on its way, taken now for the record (nothing more will be
// shown of it).
void SettleCompletionOnItsWay()
{
    MSG msg;
    if (PeekMessageW(&msg, g_hwnd, WM_APP_PROGRAM_DONE, WM_APP_PROGRAM_DONE, PM_REMOVE | kPostedOnly))
        EndProgramRecord(msg.wParam != 0);
}

}  // namespace

bool CompletionOnItsWay()
{
    MSG msg;
    return PeekMessageW(&msg, g_hwnd, WM_APP_PROGRAM_DONE, WM_APP_PROGRAM_DONE, PM_NOREMOVE | kPostedOnly) != FALSE;
}

void EndWindow(const std::string &why)
{
    WindowGoing();
    SettleCompletionOnItsWay();
    EndRunEarly(why);
    DestroyWindow(g_hwnd);
}

void OnClose()
{
    const unsigned run = RunStillUnderWay();
    if (run) {
        // Another box is open: it is answered first (this one would stack).
        if (BoxesBusy())
            return;
        const int answer = AskAboutRun(run, kCloseQuestion, kBoxCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
        if (!YesEndsRun(answer, IDYES, run, RunStillUnderWay()))
            return;
    }
    EndWindow("The window was closed");
}
