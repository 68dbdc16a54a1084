// Text into and out of the windows. The program's text is UTF-8; the windows
// are Unicode windows, so every text crosses here through the "W" functions.
#include "app/utf16.h"
#include "window/window.h"

void SetText(HWND hwnd, const std::string &text)
{
    SetWindowTextW(hwnd, WideFromUtf8(text).c_str());
}

void AddComboEntry(HWND combo, const std::string &text)
{
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
}

std::string ComboEntryText(HWND combo, int index)
{
    const LRESULT len = SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (len == CB_ERR)
        return "";
    std::wstring text(size_t(len) + 1, L'\0');
    const LRESULT got = SendMessageW(combo, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 && got <= len ? size_t(got) : 0);
    return Utf8FromWide(text);
}

void AppendToEdit(HWND edit, const std::string &text)
{
    const int end = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, WPARAM(end), LPARAM(end));
    SendMessageW(edit, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(WideFromUtf8(text).c_str()));
}

std::string DroppedFile(HDROP drop, UINT index)
{
    // Asked for the length first, so a long path is never cut short.
    const UINT len = DragQueryFileW(drop, index, nullptr, 0);
    if (len == 0)
        return "";
    std::wstring path(size_t(len) + 1, L'\0');
    if (DragQueryFileW(drop, index, &path[0], len + 1) != len)
        return "";
    path.resize(len);
    return Utf8FromWide(path);
}
