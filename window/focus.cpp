// Where the keyboard focus is, and which button looks like the default one.
// The focus stays on the control the operator put it on; when a worker's
// start disables that control, the focus goes to the state's default
// button, else to Cancel, else to the window itself, and it comes back to
// the operator's control once that is enabled again. The default look is
// on the focused button, or on the state's default button (Capture Device,
// until a device is captured) while the focus is on no button: Return
// presses that one. With a device captured there is none: Return in a list
// or the log does nothing, and Program is pressed only on purpose.
#include <array>

#include "app/appstate.h"
#include "app/uistate.h"
#include "window/window.h"

namespace {

HWND chosen;  // where the operator last put the focus
HWND seen;    // the focus at the last look

HWND DefaultButton()
{
    const int id = DefaultButtonId();
    return id ? GetDlgItem(g_hwnd, id) : nullptr;
}

std::array<HWND, 8> PushButtons()
{
    return {g_portRefresh, g_captureBtn, g_disconnectBtn, g_notesBtn,
            g_queryBtn,    g_programBtn, g_browseBtn,     g_clearBtn};
}

bool IsPushButton(HWND hwnd)
{
    for (HWND b : PushButtons())
        if (hwnd == b)
            return true;
    return false;
}

bool Usable(HWND hwnd)
{
    return hwnd && IsWindowEnabled(hwnd) && IsWindowVisible(hwnd);
}

void ShowDefaultButton()
{
    HWND focus = GetFocus();
    HWND def = IsPushButton(focus) ? focus : DefaultButton();
    for (HWND b : PushButtons()) {
        const LONG type = b == def ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        if ((GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK) != type)
            SendMessageW(b, BM_SETSTYLE, WPARAM(type), TRUE);
    }
}

}  // namespace

int DefaultButtonId()
{
    return ComputeUiState(CurrentUiInputs()).captureIsDefault ? IDC_CAPTURE : 0;
}

void ChooseFocus(HWND control)
{
    chosen = control;
}

void NoteCommandSender(HWND sender)
{
    if (sender && sender == GetFocus() && IsChild(g_hwnd, sender))
        chosen = sender;
}

void NoteFocus()
{
    HWND focus = GetFocus();
    if (focus == seen)
        return;
    seen = focus;
    if (focus && IsChild(g_hwnd, focus))
        chosen = focus;
    // After the dialog manager's own changes to the buttons' looks (it
    // makes a button it tabs to the default one, and may send notifications
    // that end up here half-way through): the look this window wants.
    ShowDefaultButton();
}

void PlaceFocus()
{
    // Only the active window may take the focus: a message box or the
    // release notes keep it, and activation calls this again.
    if (!g_hwnd || GetActiveWindow() != g_hwnd)
        return;
    HWND target = g_hwnd;
    switch (ChooseFocusHome(Usable(chosen), Usable(DefaultButton()), Usable(g_disconnectBtn) && g_capturing)) {
    case FocusHome::Chosen: target = chosen; break;
    case FocusHome::DefaultButton: target = DefaultButton(); break;
    case FocusHome::Cancel: target = g_disconnectBtn; break;
    case FocusHome::Window: break;
    }
    if (GetFocus() != target)
        SetFocus(target);
    seen = GetFocus();
    ShowDefaultButton();
}

void MoveFocus(WPARAM wParam, LPARAM lParam)
{
    HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                 : GetNextDlgTabItem(g_hwnd, GetFocus(), wParam != 0);
    if (Usable(target))
        SetFocus(target);
}
