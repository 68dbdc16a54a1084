#include "tools/zflash/terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "tools/zflash/terminal_cursor.h"

namespace {

// Standard error's terminal size; false when it is no terminal.
bool WindowSize(struct winsize &size)
{
    return isatty(2) && ioctl(2, TIOCGWINSZ, &size) == 0;
}

// The signals that end the process by default, and what was installed for
// them before (a sanitizer's handler, say), which then gets them.
const int kFatal[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT, SIGSYS, SIGTRAP};
const size_t kFatalCount = sizeof kFatal / sizeof kFatal[0];
struct sigaction before[kFatalCount];
void (*onFatal)() = nullptr;

void OnFatal(int sig, siginfo_t *info, void *)
{
    onFatal();
    for (size_t i = 0; i < kFatalCount; ++i)
        if (kFatal[i] == sig)
            sigaction(sig, &before[i], nullptr);
    // A fault comes again as its instruction runs again; a signal that was
    // sent (kill, raise, abort) is sent again.
    const bool fault = sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL;
    if (!fault || info->si_code <= 0)
        raise(sig);
}

}  // namespace

int TerminalColumns()
{
    struct winsize size {};
    if (!WindowSize(size))
        return 0;
    return size.ws_col > 0 ? size.ws_col : 80;
}

int TerminalRows()
{
    struct winsize size {};
    return WindowSize(size) ? size.ws_row : 0;
}

bool EnableCursorControl() { return isatty(2) != 0; }

bool StdoutIsTerminal() { return isatty(1) != 0; }

void WriteStderrNow(const char *text, size_t size)
{
    const ssize_t n = write(2, text, size);
    (void)n;
}

void CallOnFatalSignals(void (*show)())
{
    onFatal = show;
    struct sigaction action {};
    action.sa_sigaction = OnFatal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kFatalCount; ++i) {
        sigaction(kFatal[i], nullptr, &before[i]);
        if (before[i].sa_handler != SIG_IGN)
            sigaction(kFatal[i], &action, nullptr);
    }
}
