#include "tools/zflash/child.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

struct Child::Handle {
    pid_t pid = -1;
    int out = -1;
    bool waited = false;
    int exitCode = -1;
    int signal = 0;
};

namespace {

std::string SelfPath()
{
    char path[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

}  // namespace

Child::Child() : handle(new Handle) {}

Child::~Child()
{
    Wait();
    if (handle->out >= 0)
        close(handle->out);
}

bool Child::Start(const std::vector<std::string> &args, std::string &error)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    std::vector<std::string> argv = {SelfPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> cargs;
    for (std::string &a : argv)
        cargs.push_back(&a[0]);
    cargs.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int status = posix_spawn(&handle->pid, cargs[0], &actions, &attributes, cargs.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (status != 0) {
        close(pipeFds[0]);
        handle->pid = -1;
        error = std::strerror(status);
        return false;
    }
    handle->out = pipeFds[0];
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

void Child::Interrupt(bool terminate)
{
    if (handle->pid > 0 && !handle->waited)
        kill(handle->pid, terminate ? SIGTERM : SIGINT);
}

int Child::Wait()
{
    if (handle->pid <= 0 || handle->waited)
        return handle->exitCode;
    int status = 0;
    while (waitpid(handle->pid, &status, 0) < 0 && errno == EINTR) {
    }
    handle->waited = true;
    handle->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    handle->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return handle->exitCode;
}

int Child::EndSignal() const { return handle->signal; }
