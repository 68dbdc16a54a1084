// zflash: capture, identify, program and verify Zelvo devices from a terminal
// or a script, through the same workflows as the window.
#include <cstdio>
#include <cstdlib>

#include "station/session_runner.h"
#include "tools/zflash/cli.h"
#include "tools/zflash/interrupt.h"

// Failures end in exit codes; only bad_alloc or a failed thread start can
// escape, and ending the program then is right.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char **argv)
{
    const int code = ZflashMain(argc, argv);
    SettledForExit();  // the records are written
    // An aborted session left its worker inside the target library: end the
    // process here, without running destructors under that thread's feet.
    if (WorkflowStillRunning()) {
        std::fflush(stdout);  // not stdin: a station's worker may be reading it
        std::fflush(stderr);
        std::_Exit(code);
    }
    return code;
}
