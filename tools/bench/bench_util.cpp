// Clocks, options and the result line shared by the benchmarks.
#include "tools/bench/bench.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <chrono>
#include <cstdio>

double WallSeconds()
{
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

#ifdef _WIN32
namespace {
double FileTimeSeconds(const FILETIME &t)
{
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return double(v.QuadPart) / 1e7;  // 100 ns units
}
}  // namespace

double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}
#else
double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
#endif

std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void PrintResult(const std::string &name, const std::vector<std::pair<std::string, std::string>> &fields)
{
    std::string line = "RESULT " + name;
    for (const auto &f : fields)
        line += " " + f.first + "=" + f.second;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

std::string Option(const std::vector<std::string> &args, const std::string &key, const std::string &fallback)
{
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == key)
            return args[i + 1];
    return fallback;
}

bool Flag(const std::vector<std::string> &args, const std::string &key)
{
    for (const auto &a : args)
        if (a == key)
            return true;
    return false;
}
