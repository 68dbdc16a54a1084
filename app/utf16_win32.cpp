// UTF-8 <-> UTF-16 with the system's converters.
#include "app/utf16.h"

#include <windows.h>

namespace {

// MultiByteToWideChar of all of `text` in `codePage`; false when `flags`
// make it refuse the text.
bool ToWide(UINT codePage, DWORD flags, const std::string &text, std::wstring &out)
{
    const int n = MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0)
        return false;
    out.assign(size_t(n), L'\0');
    return MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), &out[0], n) == n;
}

}  // namespace

std::wstring WideFromUtf8(const std::string &text)
{
    std::wstring wide;
    if (text.empty() || ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, wide) || ToWide(CP_ACP, 0, text, wide))
        return wide;
    return std::wstring();
}

std::string Utf8FromWide(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::string Utf8FromWide(const wchar_t *text)
{
    return text ? Utf8FromWide(std::wstring(text)) : std::string();
}
