// zflash: capture, identify, program and verify Zelvo devices from a terminal
// or a script, through the same workflows as the window.
#include "tools/zflash/cli.h"

// Failures end in exit codes; only bad_alloc or a failed thread start can
// escape, and ending the program then is right.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char **argv)
{
    return ZflashMain(argc, argv);
}
