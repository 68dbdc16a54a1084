#include "tools/zflash/arguments.h"

#include <windows.h>
// needs windows.h first
#include <shellapi.h>

#include "app/utf16.h"

std::vector<std::string> Utf8Arguments(int argc, char **argv)
{
    int count = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
    return args;
}
