#include "tools/zflash/child.h"

#include <windows.h>

#include "app/utf16.h"

struct Child::Handle {
    PROCESS_INFORMATION process = {};
    HANDLE out = nullptr;
    bool waited = false;
    int exitCode = -1;
};

namespace {

// One argument as the C runtime splits a command line again.
std::wstring Quoted(const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::wstring SelfPath()
{
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, &path[0], DWORD(path.size()));
    path.resize(n);
    return path;
}

}  // namespace

Child::Child() : handle(new Handle) {}

Child::~Child()
{
    Wait();
    if (handle->out)
        CloseHandle(handle->out);
}

bool Child::Start(const std::vector<std::string> &args, std::string &error)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        error = "Windows error " + std::to_string(GetLastError());
        return false;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    const std::wstring self = SelfPath();
    std::wstring commandLine = Quoted(self);
    for (const std::string &a : args)
        commandLine += L" " + Quoted(WideFromUtf8(a));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    const BOOL started = CreateProcessW(self.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                        CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &handle->process);
    CloseHandle(writeEnd);
    if (!started) {
        error = "Windows error " + std::to_string(GetLastError());
        CloseHandle(readEnd);
        return false;
    }
    CloseHandle(handle->process.hThread);
    handle->out = readEnd;
    return true;
}

long Child::Read(char *buffer, size_t size)
{
    DWORD n = 0;
    if (!ReadFile(handle->out, buffer, DWORD(size), &n, nullptr))
        return 0;  // the child closed its end
    return long(n);
}

void Child::Interrupt(bool)
{
    // A process group of its own takes Ctrl-Break, not Ctrl-C; zflash treats both alike.
    if (handle->process.hProcess && !handle->waited)
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, handle->process.dwProcessId);
}

int Child::Wait()
{
    if (!handle->process.hProcess || handle->waited)
        return handle->exitCode;
    WaitForSingleObject(handle->process.hProcess, INFINITE);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(handle->process.hProcess, &code);
    CloseHandle(handle->process.hProcess);
    handle->waited = true;
    handle->exitCode = int(code);
    return handle->exitCode;
}

int Child::EndSignal() const { return 0; }
