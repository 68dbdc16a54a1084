// What the program remembers per user between runs: the port a device was
// captured on last time (HKCU\Software\Zelvo\Flash Update, value LastPort).
// Nothing else is kept; a missing or unreadable value is no port.
#include "app/utf16.h"
#include "window/window.h"

namespace {

const wchar_t kKey[] = L"Software\\Zelvo\\Flash Update";
const wchar_t kLastPort[] = L"LastPort";

}  // namespace

std::string LoadLastPort()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "";
    wchar_t data[256] = L"";
    DWORD size = sizeof data - sizeof(wchar_t);  // room for a terminator the value may lack
    DWORD type = 0;
    const LONG rc = RegQueryValueExW(key, kLastPort, nullptr, &type, reinterpret_cast<BYTE *>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return "";
    data[size / sizeof(wchar_t)] = L'\0';
    return Utf8FromWide(data);
}

void SaveLastPort(const std::string &port)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    const std::wstring value = WideFromUtf8(port);
    RegSetValueExW(key, kLastPort, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                   DWORD(value.size() + 1) * DWORD(sizeof(wchar_t)));
    RegCloseKey(key);
}
