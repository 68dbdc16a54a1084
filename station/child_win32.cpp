#include "station/child.h"

#include <windows.h>

#include "app/syserror.h"
#include "app/utf16.h"

struct Child::Handle {
    PROCESS_INFORMATION process = {};
    HANDLE in = nullptr;
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
    if (handle->in)
        CloseHandle(handle->in);
    Wait();
    if (handle->out)
        CloseHandle(handle->out);
}

bool Child::Start(const std::vector<std::string> &args, std::string &error, const ChildOptions &options)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (options.out == ChildOptions::Pipe && !CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        error = SystemErrorText(GetLastError());
        return false;
    }
    if (readEnd)
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE inRead = nullptr, inWrite = nullptr;
    if (options.in == ChildOptions::Pipe && CreatePipe(&inRead, &inWrite, &inherit, 0))
        SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    const std::wstring program = options.program.empty() ? SelfPath() : WideFromUtf8(options.program);
    std::wstring commandLine = Quoted(program);
    for (const std::string &a : args)
        commandLine += L" " + Quoted(WideFromUtf8(a));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = options.in == ChildOptions::Pipe   ? inRead
                        : options.in == ChildOptions::Null ? nul
                                                           : GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = options.out == ChildOptions::Pipe   ? writeEnd
                         : options.out == ChildOptions::Null ? nul
                                                             : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = options.err == ChildOptions::Null ? nul : GetStdHandle(STD_ERROR_HANDLE);
    const BOOL started =
        CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                       options.ownProcessGroup ? CREATE_NEW_PROCESS_GROUP : 0, nullptr, nullptr, &startup,
                       &handle->process);
    if (writeEnd)
        CloseHandle(writeEnd);
    if (inRead)
        CloseHandle(inRead);
    handle->in = inWrite;
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!started) {
        error = SystemErrorText(GetLastError());
        if (readEnd)
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
    if (!handle->out || !ReadFile(handle->out, buffer, DWORD(size), &n, nullptr))
        return 0;  // the child closed its end
    return long(n);
}

void Child::Interrupt(bool)
{
    // A process group of its own takes Ctrl-Break, not Ctrl-C; zflash treats both alike.
    if (handle->process.hProcess && !handle->waited)
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, handle->process.dwProcessId);
}

bool Child::Write(const std::string &text)
{
    DWORD written = 0;
    return handle->in && WriteFile(handle->in, text.data(), DWORD(text.size()), &written, nullptr) &&
           written == text.size();
}

int Child::OutputFd() const { return -1; }
int Child::ErrorFd() const { return -1; }

void Child::CloseOutput()
{
    if (handle->out)
        CloseHandle(handle->out);
    handle->out = nullptr;
}

void Child::CloseError() {}

void Child::Signal(int signal)
{
    // POSIX's numbers, which mingw's headers do not all define.
    constexpr int kKill = 9, kTerminate = 15;
    if (signal != kKill)
        return Interrupt(signal == kTerminate);
    if (handle->process.hProcess && !handle->waited)
        TerminateProcess(handle->process.hProcess, 1);
}

long Child::Pid() const { return long(handle->process.dwProcessId); }

bool Child::Ended()
{
    if (!handle->process.hProcess || handle->waited)
        return true;
    if (WaitForSingleObject(handle->process.hProcess, 0) != WAIT_OBJECT_0)
        return false;
    Wait();
    return true;
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

double Child::CpuSeconds() const { return 0; }

long Child::MaxRssKiB() const { return 0; }
