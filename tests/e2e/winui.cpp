#include "tests/e2e/winui.h"

#include "app/utf16.h"

// Texts are read and written in UTF-16 and compared as UTF-8: an "A" message
// would pass them through this process's code page.
std::string WindowText(HWND hwnd)
{
    const LRESULT len = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(size_t(len > 0 ? len : 0) + 1, L'\0');
    const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, WPARAM(text.size()), LPARAM(&text[0]));
    text.resize(got > 0 ? size_t(got) : 0);
    return Utf8FromWide(text);
}

void SetText(HWND hwnd, const std::string &text)
{
    SendMessageW(hwnd, WM_SETTEXT, 0, LPARAM(WideFromUtf8(text).c_str()));
}

bool Enabled(HWND hwnd)
{
    return IsWindowEnabled(hwnd) != FALSE;
}

LONG Style(HWND hwnd)
{
    return GetWindowLongA(hwnd, GWL_STYLE);
}

std::vector<std::string> ComboItems(HWND combo)
{
    std::vector<std::string> items;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        // The "A" form returns only the first character across processes.
        const LRESULT len = SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(i), 0);
        std::wstring w(size_t(len > 0 ? len : 0) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, WPARAM(i), LPARAM(&w[0]));
        w.resize(size_t(len > 0 ? len : 0));
        items.push_back(Utf8FromWide(w));
    }
    return items;
}

int ComboSelection(HWND combo)
{
    return int(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

void Click(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

void SelectComboEntry(HWND combo, int index)
{
    SendMessageA(combo, CB_SETCURSEL, WPARAM(index), 0);
    const int id = GetDlgCtrlID(combo);
    PostMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(combo));
}

bool SelectComboText(HWND combo, const std::string &text)
{
    const int index = IndexOf(ComboItems(combo), text);
    if (index < 0)
        return false;
    SelectComboEntry(combo, index);
    return WaitFor([&] { return ComboSelection(combo) == index; });
}

int IndexOf(const std::vector<std::string> &items, const std::string &item)
{
    for (size_t i = 0; i < items.size(); i++)
        if (items[i] == item)
            return int(i);
    return -1;
}

std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

void PostKey(HWND target, UINT vk, bool alt)
{
    // Repeat count 1, the scan code, bit 29 with Alt held; a release also
    // has bits 30 (was down) and 31 (going up).
    const LPARAM down = 1 | LPARAM(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16 | (alt ? LPARAM(1) << 29 : 0);
    const LPARAM up = down | LPARAM(3u << 30);
    PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
    PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, vk, up);
}

LRESULT SendWithin(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT failed)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, 10000, &result))
        return failed;
    return LRESULT(result);
}

bool WaitFor(const std::function<bool()> &cond, double seconds)
{
    const ULONGLONG until = GetTickCount64() + ULONGLONG(seconds * 1000);
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount64() >= until)
            return false;
        Sleep(20);
    }
}
