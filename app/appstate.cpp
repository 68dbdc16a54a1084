// The application state shared by the window and the workers, and the seams
// through which workers report: the message sink, message boxes and the
// custom-image panel refresh.
#include "app/appstate.h"

std::string g_appTitle = "Zelvo Flash Update";
bool g_portOpen = false;
bool g_capturing = false;
bool g_querying = false;
bool g_programming = false;
std::atomic<bool> g_abortCapture{false};
std::atomic<bool> g_captureTimedOut{false};
std::atomic<const Product *> g_prod{nullptr};
std::atomic<const HWOption *> g_hw{nullptr};
std::vector<FirmwareVersion> g_fwList;
FirmwareVersion g_customFw;
bool g_customLoaded = false;
bool g_customValid = false;

namespace {

// Without a receiver a message is dropped; the strings it carries are freed.
void DropMessage(unsigned msg, uintptr_t, intptr_t lParam)
{
    if ((msg == WM_APP_LOG || msg == WM_APP_QUERY_DONE) && lParam != 0)
        delete reinterpret_cast<std::string *>(lParam);
}

// Without a window nobody can answer: a question is declined, a notice taken.
int NoMessageBox(const std::string &, const std::string &, unsigned type)
{
    return (type & 0x0F) == BoxYesNo ? BoxAnswerNo : BoxAnswerOk;
}

std::atomic<MessageSink> sink{DropMessage};
std::atomic<MessageBoxHandler> boxHandler{NoMessageBox};
std::atomic<void (*)()> customUiRefresher{nullptr};

// Last posted progress; only the one running worker touches these.
int lastPct = -1;
ProgressPhase lastPhase = PhaseRAMExec;

}  // namespace

void SetMessageSink(MessageSink newSink)
{
    sink = newSink ? newSink : DropMessage;
}

void PostWorkerMessage(unsigned msg, uintptr_t wParam, intptr_t lParam)
{
    sink.load()(msg, wParam, lParam);
}

void Log(const std::string &line)
{
    PostWorkerMessage(WM_APP_LOG, 0, reinterpret_cast<intptr_t>(new std::string(line)));
}

void ProgressCallback(ProgressPhase phase, int done, int total)
{
    const int percent = total > 0 ? static_cast<int>(static_cast<long long>(done) * 100 / total) : 0;
    if (percent == lastPct && phase == lastPhase)
        return;
    lastPct = percent;
    lastPhase = phase;
    PostWorkerMessage(WM_APP_PROGRESS, static_cast<uintptr_t>(percent), static_cast<intptr_t>(phase));
}

void ResetProgressThrottle()
{
    lastPct = -1;
    lastPhase = PhaseRAMExec;
}

void SetMessageBoxHandler(MessageBoxHandler handler)
{
    boxHandler = handler ? handler : NoMessageBox;
}

int AppMessageBox(const std::string &text, const std::string &caption, unsigned type)
{
    return boxHandler.load()(text, caption, type);
}

void SetCustomUiRefresher(void (*refresh)())
{
    customUiRefresher = refresh;
}

void RefreshCustomUi()
{
    if (auto refresh = customUiRefresher.load())
        refresh();
}
