// The window's modal boxes, one at a time (app/boxturns.h): a notice that
// comes while a box is open waits for its turn; a question is asked only
// while no other box is open; the close question about a programming run is
// taken away when that run ends. While a box is open or a notice waits, the
// main window takes no command: the operator cannot reach it, and a message
// that gets there anyway changes nothing.
#include "app/boxturns.h"
#include "app/utf16.h"
#include "window/window.h"

namespace {

BoxTurns turns;
bool going = false;  // the window is being closed: no box, nothing after one

int MessageBoxOf(HWND owner, const std::string &text, const std::string &caption, unsigned type)
{
    return MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), type);
}

void ShowNow(const Notice &notice)
{
    {
        const ModalTurn turn;
        MessageBoxOf(g_hwnd, notice.text, notice.caption, notice.type);
    }
    if (!going && notice.then)
        notice.then();
}

BOOL CALLBACK FindOwnedDialog(HWND hwnd, LPARAM found)
{
    wchar_t cls[16] = L"";
    GetClassNameW(hwnd, cls, 16);
    if (lstrcmpW(cls, L"#32770") != 0 || GetWindow(hwnd, GW_OWNER) != g_hwnd)
        return TRUE;
    *reinterpret_cast<HWND *>(found) = hwnd;
    return FALSE;
}

}  // namespace

ModalTurn::ModalTurn(unsigned aboutRun) : granted(!going && !turns.Busy())
{
    turns.Opened(aboutRun);
}

ModalTurn::~ModalTurn()
{
    if (turns.Closed() && !going)
        PostMessageW(g_hwnd, WM_APP_NOTICE_TURN, 0, 0);
}

int ShowBox(const std::string &text, const std::string &caption, unsigned type)
{
    if ((type & MB_TYPEMASK) == MB_OK) {
        ShowNotice({text, caption, type, nullptr, false});
        return IDOK;
    }
    // A question never stacks over another box: not asked, it counts as No.
    if (going || turns.Busy())
        return 0;
    const ModalTurn turn;
    return MessageBoxOf(g_hwnd, text, caption, type);
}

void ShowNotice(const Notice &notice)
{
    if (!going && turns.Offer(notice))
        ShowNow(notice);
}

void OnNoticeTurn()
{
    Notice notice;
    if (!going && turns.TakeTurn(notice))
        ShowNow(notice);
}

int AskAboutRun(unsigned run, const std::string &text, const std::string &caption, unsigned type)
{
    if (going || turns.Busy())
        return 0;
    const ModalTurn turn(run);
    return MessageBoxOf(g_hwnd, text, caption, type);
}

void WithdrawQuestionAbout(unsigned run)
{
    if (!turns.RunEnded(run))
        return;
    // The one box open is the question: it ends as if never answered.
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindOwnedDialog, LPARAM(&box));
    if (box)
        EndDialog(box, 0);
}

bool BoxesBusy()
{
    return turns.Busy();
}

void WindowGoing()
{
    going = true;
}

bool WindowIsGoing()
{
    return going;
}

void SayWhatMustBeSeen(const std::vector<std::string> &lost)
{
    // The window is gone: boxes of their own, owned by no window.
    for (const Notice &n : turns.TakeExitNotices())
        MessageBoxOf(nullptr, n.text, n.caption, n.type);
    for (const std::string &text : lost)
        MessageBoxOf(nullptr, text, kBoxCaption, MB_ICONWARNING);
}
