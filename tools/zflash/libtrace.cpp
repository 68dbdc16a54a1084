#include "tools/zflash/libtrace.h"

#include <fcntl.h>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define zf_dup _dup
#define zf_dup2 _dup2
#define zf_close _close
#define zf_read _read
#define zf_write _write
#define zf_fdopen _fdopen
static int zf_pipe(int fds[2]) { return _pipe(fds, 4096, _O_BINARY); }
static const char *const kNullDevice = "NUL";
#else
#include <unistd.h>
#define zf_dup dup
#define zf_dup2 dup2
#define zf_close close
#define zf_read read
#define zf_write write
#define zf_fdopen fdopen
static int zf_pipe(int fds[2]) { return pipe(fds); }
static const char *const kNullDevice = "/dev/null";
#endif

namespace {

FILE *ownStdout = nullptr;

void WriteAll(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        int n = zf_write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

}  // namespace

FILE *OwnStdout()
{
    if (ownStdout)
        return ownStdout;
    std::fflush(stdout);
    int fd = zf_dup(1);
    ownStdout = fd >= 0 ? zf_fdopen(fd, "w") : nullptr;
    if (!ownStdout) {
        if (fd >= 0)
            zf_close(fd);
        ownStdout = stdout;
    }
    return ownStdout;
}

void RouteLibraryTrace(TraceRoute route)
{
    FILE *own = OwnStdout();
    std::fflush(stdout);
    int target = -1;
    bool opened = false;
    switch (route) {
    case TraceRoute::Discard:
        target = open(kNullDevice, O_WRONLY);
        opened = true;
        break;
    case TraceRoute::Stdout:
        target = own != stdout ? fileno(own) : -1;
        break;
    case TraceRoute::Stderr:
        target = 2;
        break;
    }
    if (target >= 0)
        zf_dup2(target, 1);
    if (opened && target >= 0)
        zf_close(target);
}

std::string CollectLibraryTrace(const std::function<void()> &fn)
{
    std::fflush(stdout);
    int saved = zf_dup(1);
    int fds[2];
    if (saved < 0 || zf_pipe(fds) != 0) {
        if (saved >= 0)
            zf_close(saved);
        fn();
        return {};
    }
    zf_dup2(fds[1], 1);
    zf_close(fds[1]);

    std::string text;
    std::thread reader([&text, readEnd = fds[0]] {
        char buf[1024];
        int n;
        while ((n = zf_read(readEnd, buf, sizeof buf)) > 0)
            text.append(buf, static_cast<size_t>(n));
    });
    fn();
    std::fflush(stdout);
    zf_dup2(saved, 1);  // closes the pipe's last write end: the reader sees its end
    zf_close(saved);
    reader.join();
    zf_close(fds[0]);

    WriteAll(1, text);
    return text;
}
