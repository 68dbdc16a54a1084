#include "tools/zflash/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

int TerminalColumns()
{
    struct winsize size {};
    if (!isatty(2) || ioctl(2, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col > 0 ? size.ws_col : 80;
}

bool EnableCursorControl() { return isatty(2) != 0; }

bool StdoutIsTerminal() { return isatty(1) != 0; }
