#include "station/child.h"

#include <windows.h>

#include <algorithm>
#include <vector>

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

// Every child of this process lives in one job that ends them all when this
// process ends, however it ends (its handle to the job closes with it). Null
// when the system refuses a job (the children then end on their own, by
// watching this process).
HANDLE ChildrenJob()
{
    static HANDLE job = [] {
        HANDLE j = CreateJobObjectW(nullptr, nullptr);
        if (!j)
            return j;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(j);
            return HANDLE(nullptr);
        }
        return j;
    }();
    return job;
}

// An inheritable copy of `h` for a child's standard stream (the parent's
// own may not be inheritable); null when there is none.
HANDLE InheritableCopy(HANDLE h)
{
    HANDLE copy = nullptr;
    if (h && h != INVALID_HANDLE_VALUE)
        DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    return copy;
}

// The child inherits these handles and no others: a process of ours must not
// keep another child's pipe, or a port, open by accident.
class HandleList {
public:
    explicit HandleList(const std::vector<HANDLE> &handles)
    {
        for (HANDLE h : handles)
            if (h && std::find(list.begin(), list.end(), h) == list.end())
                list.push_back(h);
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        buffer.resize(size);
        attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
        ready = InitializeProcThreadAttributeList(attributes, 1, 0, &size) &&
                UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, list.data(),
                                          list.size() * sizeof(HANDLE), nullptr, nullptr);
    }
    ~HandleList()
    {
        if (attributes)
            DeleteProcThreadAttributeList(attributes);
    }
    HandleList(const HandleList &) = delete;
    HandleList &operator=(const HandleList &) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST Attributes() const { return ready ? attributes : nullptr; }

private:
    std::vector<HANDLE> list;
    std::vector<char> buffer;
    LPPROC_THREAD_ATTRIBUTE_LIST attributes = nullptr;
    bool ready = false;
};

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
    // The parent's own streams, where the child shares them, as inheritable copies.
    HANDLE inheritedIn = options.in == ChildOptions::Inherit ? InheritableCopy(GetStdHandle(STD_INPUT_HANDLE)) : nullptr;
    HANDLE inheritedOut =
        options.out == ChildOptions::Inherit ? InheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE)) : nullptr;
    HANDLE inheritedErr =
        options.err != ChildOptions::Null ? InheritableCopy(GetStdHandle(STD_ERROR_HANDLE)) : nullptr;
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = options.in == ChildOptions::Pipe   ? inRead
                                    : options.in == ChildOptions::Null ? nul
                                                                       : inheritedIn;
    startup.StartupInfo.hStdOutput = options.out == ChildOptions::Pipe   ? writeEnd
                                     : options.out == ChildOptions::Null ? nul
                                                                         : inheritedOut;
    startup.StartupInfo.hStdError = options.err == ChildOptions::Null ? nul : inheritedErr;
    const HandleList inherited({startup.StartupInfo.hStdInput, startup.StartupInfo.hStdOutput,
                                startup.StartupInfo.hStdError});
    startup.lpAttributeList = inherited.Attributes();
    if (!startup.lpAttributeList)
        startup.StartupInfo.cb = sizeof startup.StartupInfo;
    DWORD flags = CREATE_SUSPENDED | (options.ownProcessGroup ? CREATE_NEW_PROCESS_GROUP : 0) |
                  (startup.lpAttributeList ? EXTENDED_STARTUPINFO_PRESENT : 0);
    const BOOL started = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, flags, nullptr,
                                        nullptr, &startup.StartupInfo, &handle->process);
    for (HANDLE copy : {inheritedIn, inheritedOut, inheritedErr})
        if (copy)
            CloseHandle(copy);
    if (started) {
        // In the job before it runs a single instruction: it cannot outlive us.
        if (HANDLE job = ChildrenJob())
            AssignProcessToJobObject(job, handle->process.hProcess);
        ResumeThread(handle->process.hThread);
    }
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
