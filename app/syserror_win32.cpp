#include "app/syserror.h"

#include <windows.h>

#include "app/utf16.h"

std::string SystemErrorText(unsigned long code)
{
    const std::string number = "Windows error " + std::to_string(code);
    wchar_t *words = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t *>(&words), 0, nullptr);
    std::wstring text = n > 0 && words ? std::wstring(words, n) : std::wstring();
    LocalFree(words);
    // The message ends its line (and may carry trailing blanks).
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text.empty() ? number : Utf8FromWide(text) + " (" + number + ")";
}
