#include "tests/e2e/appsession.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "app/utf16.h"
#include "tests/e2e/winui.h"

namespace {

const int kIdsInOrder[] = {1001, 1002, 1003, 1010, 1009, 1011, 1005, 1023, 1024, 1006};
const char *const kNames[] = {"port", "refresh", "capture", "disconnect", "query",
                              "notes", "fwlist", "browse", "clear", "program"};

struct FindArgs {
    DWORD pid;
    const char *cls;
    const char *caption;
    bool wantMessageBox;
    HWND found;
    std::vector<HWND> *all;  // every match, when set
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp)
{
    FindArgs &a = *reinterpret_cast<FindArgs *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != a.pid || !IsWindowVisible(hwnd))
        return TRUE;
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::strcmp(cls, a.cls) != 0)
        return TRUE;
    if (a.caption && WindowText(hwnd) != a.caption)
        return TRUE;
    if (a.wantMessageBox && !GetDlgItem(hwnd, 0xFFFF))
        return TRUE;
    a.found = hwnd;
    if (!a.all)
        return FALSE;
    a.all->push_back(hwnd);
    return TRUE;
}

// As UTF-8: the "A" environment is in this process's code page.
std::string Env(const wchar_t *name)
{
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0)
        return "";
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, &value[0], n);
    value.resize(got < n ? got : 0);
    return Utf8FromWide(value);
}

}  // namespace

AppSession::~AppSession()
{
    Stop();
}

bool AppSession::Launch(const std::string &exePath, Remembered rememberedPort)
{
    if (rememberedPort == Forget)
        ForgetRememberedPort();
    const std::string dir = exePath.substr(0, exePath.find_last_of("\\/") + 1);
    // The program's trace (standard output) goes to a file, not the driver's log.
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    const std::string tracePath = Config().workDir + "\\app-trace.txt";
    HANDLE trace = CreateFileW(WideFromUtf8(tracePath).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &sa, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (trace != INVALID_HANDLE_VALUE) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = trace;
    }
    const std::wstring exe = WideFromUtf8(exePath);
    const std::wstring wdir = WideFromUtf8(dir);
    std::wstring cmd = L"\"" + exe + L"\"";
    const BOOL started = CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        wdir.empty() ? nullptr : wdir.c_str(), &si, &pi_);
    if (trace != INVALID_HANDLE_VALUE)
        CloseHandle(trace);
    if (!started)
        return false;
    return WaitFor([&] {
        main_ = FindWindowOf("ZelvoFlashUpdateWndClass");
        return main_ && !LogLines().empty();
    });
}

bool AppSession::Alive() const
{
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

bool AppSession::WaitExit(double seconds)
{
    if (!pi_.hProcess)
        return true;
    return WaitForSingleObject(pi_.hProcess, DWORD(seconds * 1000)) == WAIT_OBJECT_0;
}

void AppSession::Stop()
{
    if (!pi_.hProcess)
        return;
    if (!WaitExit(0)) {
        PostMessageA(main_, WM_CLOSE, 0, 0);
        if (HWND box = WaitForBox(2))  // closing while programming asks first
            Answer(box, IDYES);
        if (!WaitExit(10))
            TerminateProcess(pi_.hProcess, 1);
        WaitExit(10);
    }
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
    pi_ = {};
    main_ = nullptr;
}

int AppSession::FocusId() const
{
    HWND focus = Focus();
    return focus && IsChild(main_, focus) ? GetDlgCtrlID(focus) : 0;
}

void AppSession::Key(UINT vk, bool alt) const
{
    HWND focus = Focus();
    PostKey(focus ? focus : main_, vk, alt);
}

std::string AppSession::Caption() const
{
    return WindowText(main_);
}

std::string AppSession::Text(int id) const
{
    return WindowText(Control(id));
}

std::vector<std::string> AppSession::LogLines() const
{
    return SplitLines(WindowText(Control(1007)));
}

bool AppSession::LogHas(const std::string &line, size_t from) const
{
    const std::vector<std::string> lines = LogLines();
    for (size_t i = from; i < lines.size(); i++)
        if (lines[i] == line)
            return true;
    return false;
}

std::vector<std::string> AppSession::LogLinesFrom(size_t from) const
{
    const std::vector<std::string> lines = LogLines();
    return from <= lines.size() ? std::vector<std::string>(lines.begin() + long(from), lines.end())
                                : std::vector<std::string>();
}

bool AppSession::WaitForLogLines(size_t from, const std::vector<std::string> &lines) const
{
    return WaitFor([&] { return LogLinesFrom(from) == lines; });
}

bool AppSession::Capture(const std::string &port, const std::string &device) const
{
    if (!SelectComboText(Control(1001), port))
        return false;
    const size_t from = LogLines().size();
    Click(Control(1003));
    return WaitFor([&] { return LogHas("Detected: " + device, from); }, 60) &&
           WaitFor([&] { return Text(1004) == device; }) && WaitFor([&] { return Idle(); });
}

bool AppSession::Idle() const
{
    return Text(1008) != "Querying..." && EnabledControls().find("capture") != std::string::npos;
}

bool AppSession::StartProgramming(int index, double seconds) const
{
    SelectComboEntry(Control(1005), index);
    if (!WaitFor([&] { return ComboSelection(Control(1005)) == index; }))
        return false;
    const size_t from = LogLines().size();
    Click(Control(1006));
    // Under way: every control is off; a quick run may be over before that
    // is seen, but its first log line stays.
    return WaitFor([&] {
        if (EnabledControls().empty())
            return true;
        for (const std::string &line : LogLinesFrom(from))
            if (line.rfind("Programming ", 0) == 0)
                return true;
        return false;
    }, seconds);
}

std::string AppSession::EnabledControls() const
{
    std::string names;
    for (size_t i = 0; i < sizeof kIdsInOrder / sizeof kIdsInOrder[0]; i++) {
        if (!Enabled(Control(kIdsInOrder[i])))
            continue;
        if (!names.empty())
            names += ' ';
        names += kNames[i];
    }
    return names;
}

HWND AppSession::FindWindowOf(const char *cls, const char *caption) const
{
    FindArgs a = {pi_.dwProcessId, cls, caption, false, nullptr, nullptr};
    EnumWindows(FindProc, LPARAM(&a));
    return a.found;
}

HWND AppSession::WaitForBox(double seconds) const
{
    HWND box = nullptr;
    WaitFor([&] {
        FindArgs a = {pi_.dwProcessId, "#32770", nullptr, true, nullptr, nullptr};
        EnumWindows(FindProc, LPARAM(&a));
        box = a.found;
        return box != nullptr;
    }, seconds);
    return box;
}

bool AppSession::NoBoxOpen() const
{
    FindArgs a = {pi_.dwProcessId, "#32770", nullptr, false, nullptr, nullptr};
    EnumWindows(FindProc, LPARAM(&a));
    return a.found == nullptr;
}

std::vector<HWND> AppSession::Boxes() const
{
    std::vector<HWND> boxes;
    FindArgs a = {pi_.dwProcessId, "#32770", nullptr, true, nullptr, &boxes};
    EnumWindows(FindProc, LPARAM(&a));
    return boxes;
}

HWND AppSession::BoxOverEnabledMain(double seconds) const
{
    const auto over = [this]() -> HWND {
        if (!IsWindow(main_) || !Enabled(main_))
            return nullptr;
        const std::vector<HWND> boxes = Boxes();
        return boxes.empty() ? nullptr : boxes.front();
    };
    HWND seen = over();
    if (!seen)
        return nullptr;
    // Held for the whole time, or it was a box on its way out.
    const bool passed = WaitFor([&] { return over() == nullptr; }, seconds);
    return passed ? nullptr : seen;
}

std::string AppSession::BoxText(HWND box)
{
    return WindowText(GetDlgItem(box, 0xFFFF));
}

void AppSession::Answer(HWND box, int buttonId)
{
    Click(GetDlgItem(box, buttonId));
}

void *AppSession::CopyIn(const void *data, size_t size) const
{
    void *remote = VirtualAllocEx(pi_.hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return nullptr;
    SIZE_T written = 0;
    if (!WriteProcessMemory(pi_.hProcess, remote, data, size, &written) || written != size)
        return nullptr;
    return remote;
}

bool AppSession::DropFile(const std::string &path)
{
    // The block must live in the receiving process: DragQueryFile reads it
    // there. Wide names, as the shell sends them; the list ends with two NULs.
    const std::wstring name = WideFromUtf8(path);
    std::vector<char> block(sizeof(DROPFILES) + (name.size() + 2) * sizeof(wchar_t), '\0');
    DROPFILES *df = reinterpret_cast<DROPFILES *>(block.data());
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    std::memcpy(block.data() + sizeof(DROPFILES), name.data(), name.size() * sizeof(wchar_t));
    void *remote = CopyIn(block.data(), block.size());
    return remote && PostMessageA(main_, WM_DROPFILES, WPARAM(remote), 0) != FALSE;
}

bool AppSession::SendDpiChanged(UINT dpi) const
{
    // The suggested rectangle, as Windows passes it, lives in the program.
    RECT rc;
    GetWindowRect(main_, &rc);
    void *remote = CopyIn(&rc, sizeof rc);
    return remote && SendWithin(main_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), LPARAM(remote)) == 0;
}

bool AppSession::Screenshot(const std::string &name, HWND hwnd) const
{
    const std::string dir = Env(L"ZF_E2E_SHOTS");
    if (dir.empty())
        return false;
    RECT rc;
    GetWindowRect(hwnd, &rc);
    const std::string base = dir + "\\" + name;
    const std::string done = base + ".done";
    DeleteFileA(done.c_str());
    // Written aside and renamed, so the script never reads half a request.
    const std::string part = base + ".part";
    FILE *f = std::fopen(part.c_str(), "w");
    if (!f)
        return false;
    std::fprintf(f, "%ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    std::fclose(f);
    if (!MoveFileExA(part.c_str(), (base + ".req").c_str(), MOVEFILE_REPLACE_EXISTING))
        return false;
    return WaitFor([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20);
}

std::string UserRecordsPath()
{
    PWSTR local = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local) != S_OK)
        return std::string();
    std::string path = Utf8FromWide(local) + "\\Zelvo\\Flash Update\\records.jsonl";
    CoTaskMemFree(local);
    return path;
}

namespace {

std::vector<nlohmann::json> UserEntries(bool starts)
{
    std::vector<nlohmann::json> entries;
    std::ifstream in(UserRecordsPath());
    for (std::string line; std::getline(in, line);) {
        nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        if ((entry.is_object() && entry.value("event", "end") == "start") == starts)
            entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

std::vector<nlohmann::json> UserRecords()
{
    return UserEntries(false);
}

std::vector<nlohmann::json> UserStarts()
{
    return UserEntries(true);
}

namespace {

const wchar_t kSettingsKey[] = L"Software\\Zelvo\\Flash Update";

std::string FolderOf(const std::string &exe)
{
    return exe.substr(0, exe.find_last_of("\\/") + 1);
}

}  // namespace

std::string RememberedPort()
{
    wchar_t data[256] = L"";
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"LastPort", RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return "";
    return Utf8FromWide(data);
}

void ForgetRememberedPort()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, L"LastPort");
    RegCloseKey(key);
}

std::string E2eConfig::appDir() const
{
    return FolderOf(appExe);
}

std::string E2eConfig::namesAppDir() const
{
    return FolderOf(namesAppExe);
}

const E2eConfig &Config()
{
    static const E2eConfig config = {Env(L"ZF_E2E_APP"),           Env(L"ZF_E2E_COM"),
                                     Env(L"ZF_E2E_SILENT_COM"),    Env(L"ZF_E2E_KEYS_COM"),
                                     Env(L"ZF_E2E_ORDER_COM"),     Env(L"ZF_E2E_RANDOM_COM"),
                                     Env(L"ZF_E2E_RANDOM_CONTROL"), Env(L"ZF_E2E_RANDOM_OUT"),
                                     Env(L"ZF_E2E_WORK"),          Env(L"ZF_E2E_SIM_LOG"),
                                     Env(L"ZF_E2E_NAMES_APP")};
    return config;
}
