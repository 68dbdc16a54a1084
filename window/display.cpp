// What the workers report, shown: log lines, progress and the erase phase.

#include "app/appstate.h"
#include "app/phasewords.h"
#include "window/window.h"

void ShowLogLine(std::string *line)
{
    if (!line)
        return;
    AppendToEdit(g_logEdit, *line + "\r\n");
    delete line;
}

void ShowProgress(WPARAM percent, LPARAM phase)
{
    SendMessageA(g_progressBar, PBM_SETPOS, percent, 0);
    // wsprintfA writes at most 1024 characters; the title is far shorter.
    char caption[1025];
    wsprintfA(caption, "%s - %s %d%%", g_appTitle.c_str(), PhaseWords(int(phase)), int(percent));
    SetText(g_hwnd, caption);
}

void ShowEraseBusy(bool busy)
{
    const LONG style = GetWindowLongA(g_progressBar, GWL_STYLE);
    if (busy) {
        SetWindowLongA(g_progressBar, GWL_STYLE, style | PBS_MARQUEE);
        SendMessageA(g_progressBar, PBM_SETMARQUEE, 1, 30);
        SetText(g_hwnd, g_appTitle + " - Erasing...");
    } else {
        SendMessageA(g_progressBar, PBM_SETMARQUEE, 0, 0);
        SetWindowLongA(g_progressBar, GWL_STYLE, style & ~PBS_MARQUEE);
        SendMessageA(g_progressBar, PBM_SETPOS, 0, 0);
        SetText(g_hwnd, g_appTitle);
    }
}

void ResetProgressAndTitle()
{
    SendMessageA(g_progressBar, PBM_SETPOS, 0, 0);
    SetText(g_hwnd, g_appTitle);
}
