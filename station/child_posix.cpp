#include "station/child.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

struct Child::Handle {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;
    bool waited = false;
    int exitCode = -1;
    int signal = 0;
    struct rusage usage {};

    void Reaped(int status)
    {
        waited = true;
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
};

namespace {

std::string SelfPath()
{
    char path[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

void CloseFd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// How the child's descriptor `target` is set up; `pipeFds` is made when it
// is a pipe, its read end being the parent's.
bool Arrange(posix_spawn_file_actions_t &actions, int target, ChildOptions::Stream stream, int pipeFds[2])
{
    switch (stream) {
    case ChildOptions::Inherit:
        return true;
    case ChildOptions::Null:
        posix_spawn_file_actions_addopen(&actions, target, "/dev/null", target == 0 ? O_RDONLY : O_WRONLY, 0);
        return true;
    case ChildOptions::Pipe:
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], target);
        return true;
    }
    return true;
}

}  // namespace

Child::Child() : handle(new Handle) {}

Child::~Child()
{
    CloseFd(handle->in);
    Wait();
    CloseFd(handle->out);
    CloseFd(handle->err);
}

bool Child::Start(const std::vector<std::string> &args, std::string &error, const ChildOptions &options)
{
    std::vector<std::string> argv = {options.program.empty() ? SelfPath() : options.program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> cargs;
    for (std::string &a : argv)
        cargs.push_back(&a[0]);
    cargs.push_back(nullptr);

    int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    bool ok = true;
    if (options.in == ChildOptions::Pipe) {
        // The child reads the pipe's read end: swap the ends Arrange made.
        ok = pipe2(inPipe, O_CLOEXEC) == 0;
        if (ok)
            posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    } else {
        Arrange(actions, 0, options.in, inPipe);
    }
    if (!options.outFile.empty())
        posix_spawn_file_actions_addopen(&actions, 1, options.outFile.c_str(), O_WRONLY, 0);
    else if (ok)
        ok = Arrange(actions, 1, options.out, outPipe);
    if (options.errFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, options.errFd, 2);
    else if (ok)
        ok = Arrange(actions, 2, options.err, errPipe);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (options.ownProcessGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    const int status = ok ? posix_spawn(&handle->pid, cargs[0], &actions, &attributes, cargs.data(), environ) : errno;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    CloseFd(inPipe[0]);
    CloseFd(outPipe[1]);
    CloseFd(errPipe[1]);
    handle->in = inPipe[1];
    handle->out = outPipe[0];
    handle->err = errPipe[0];
    if (status != 0) {
        CloseFd(handle->in);
        CloseFd(handle->out);
        CloseFd(handle->err);
        handle->pid = -1;
        error = std::strerror(status);
        return false;
    }
    return true;
}

long Child::Read(char *buffer, size_t size)
{
    for (;;) {
        const ssize_t n = read(handle->out, buffer, size);
        if (n >= 0)
            return long(n);
        if (errno != EINTR)
            return 0;
    }
}

bool Child::Write(const std::string &text)
{
    size_t done = 0;
    while (handle->in >= 0 && done < text.size()) {
        const ssize_t n = write(handle->in, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return handle->in >= 0;
}

int Child::OutputFd() const { return handle->out; }
int Child::ErrorFd() const { return handle->err; }
void Child::CloseOutput() { CloseFd(handle->out); }
void Child::CloseError() { CloseFd(handle->err); }

void Child::Interrupt(bool terminate) { Signal(terminate ? SIGTERM : SIGINT); }

void Child::Signal(int signal)
{
    if (handle->pid > 0 && !handle->waited)
        kill(handle->pid, signal);
}

long Child::Pid() const { return handle->pid; }

int Child::Wait()
{
    if (handle->pid <= 0 || handle->waited)
        return handle->exitCode;
    int status = 0;
    pid_t r;
    while ((r = wait4(handle->pid, &status, 0, &handle->usage)) < 0 && errno == EINTR) {
    }
    if (r != handle->pid) {
        // Not ours to wait for any more (reaped elsewhere): its end is not
        // known, which is never a success.
        handle->waited = true;
        handle->exitCode = -1;
        return handle->exitCode;
    }
    handle->Reaped(status);
    return handle->exitCode;
}

bool Child::Ended()
{
    if (handle->pid <= 0 || handle->waited)
        return true;
    int status = 0;
    const pid_t r = wait4(handle->pid, &status, WNOHANG, &handle->usage);
    if (r == 0 || (r < 0 && errno == EINTR))
        return false;
    if (r != handle->pid) {
        handle->waited = true;  // gone, its end unknown
        handle->exitCode = -1;
        return true;
    }
    handle->Reaped(status);
    return true;
}

int Child::EndSignal() const { return handle->signal; }

double Child::CpuSeconds() const
{
    const struct rusage &u = handle->usage;
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long Child::MaxRssKiB() const { return handle->usage.ru_maxrss; }
