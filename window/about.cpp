// The system menu's "About Zelvo Flash Update..." and its box: the product
// version from the executable's version resource, beside the target
// library's version that the title shows.
#include "window/window.h"
// needs windows.h first
#include <winver.h>

#include <vector>

#include "app/utf16.h"
#include "targetlib/capture.h"

namespace {

// ProductVersion of this executable's version resource ("" without one).
std::wstring ProductVersion()
{
    wchar_t exe[MAX_PATH] = L"";
    if (!GetModuleFileNameW(nullptr, exe, MAX_PATH))
        return L"";
    const DWORD size = GetFileVersionInfoSizeW(exe, nullptr);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoW(exe, 0, size, block.data()))
        return L"";
    wchar_t *text = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                        reinterpret_cast<void **>(&text), &len) ||
        !text)
        return L"";
    return std::wstring(text, len > 0 && text[len - 1] == L'\0' ? len - 1 : len);
}

}  // namespace

void AddAboutToSystemMenu(HWND hwnd)
{
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUT, L"About Zelvo Flash Update...");
}

void ShowAbout()
{
    const std::wstring text = L"Zelvo Flash Update\nVersion " + ProductVersion() + L"\nTarget library v" +
                              WideFromUtf8(Version());
    MSGBOXPARAMSW box = {};
    box.cbSize = sizeof box;
    box.hwndOwner = g_hwnd;
    box.hInstance = GetModuleHandleW(nullptr);
    box.lpszText = text.c_str();
    box.lpszCaption = L"About Zelvo Flash Update";
    box.dwStyle = MB_OK | MB_USERICON;
    box.lpszIcon = MAKEINTRESOURCEW(IDI_APP);
    const ModalTurn turn;
    if (turn.granted)
        MessageBoxIndirectW(&box);
}
