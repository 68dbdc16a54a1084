#include "tools/zflash/terminal_cursor.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "tools/zflash/terminal.h"

const char kHideCursor[] = "\x1b[?25l";
const char kShowCursor[] = "\x1b[?25h";

namespace {

std::atomic<bool> hidden{false};

void ShowIfHidden()
{
    if (hidden.exchange(false))
        WriteStderrNow(kShowCursor, std::strlen(kShowCursor));
}

std::terminate_handler previousTerminate = nullptr;

[[noreturn]] void OnTerminate()
{
    ShowIfHidden();
    if (previousTerminate)
        previousTerminate();
    std::abort();
}

}  // namespace

void CursorHidden(bool isHidden)
{
    static bool installed = false;
    if (isHidden && !installed) {
        installed = true;
        std::atexit(ShowIfHidden);
        previousTerminate = std::set_terminate(OnTerminate);
        CallOnFatalSignals(ShowIfHidden);
    }
    hidden = isHidden;
}
