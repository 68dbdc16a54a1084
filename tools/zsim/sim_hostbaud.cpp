// The host's line rate, read from the master with TCGETS2: the kernel keeps
// the speed in bit/s for both the B-constant and the arbitrary-rate form.
// (Kept apart: the kernel's termios2 header clashes with <termios.h>.)
#include <asm/termbits.h>
#include <sys/ioctl.h>

unsigned SimHostBaud(int master)
{
    struct termios2 t;
    if (ioctl(master, TCGETS2, &t) != 0)
        return 0;
    return t.c_ospeed;
}
