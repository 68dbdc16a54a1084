#include "tools/zflash/progress_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const int kBarWidth = 20;
const int kPhaseWidth = 20;  // "Starting flashloader"

std::string Printf(const char *fmt, double a, double b = 0)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

double DoneBytes(const ProgressFigures &f) { return f.totalBytes * f.percent / 100.0; }

// Bytes per second, or 0 while too little has passed to tell.
double Throughput(const ProgressFigures &f)
{
    double done = DoneBytes(f);
    return (done > 0 && f.seconds >= 0.05) ? done / f.seconds : 0;
}

std::string PaddedPhase(const std::string &phase)
{
    std::string text = phase;
    if (text.size() < static_cast<size_t>(kPhaseWidth))
        text.resize(kPhaseWidth, ' ');
    return text;
}

}  // namespace

std::string FormatBar(int percent, int width)
{
    int filled = std::clamp(percent, 0, 100) * width / 100;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(width - filled), ' ') + "]";
}

std::string FormatKilobytes(double bytes) { return Printf("%.1f kB", bytes / 1000.0); }

std::string FormatSeconds(double seconds)
{
    if (seconds < 60)
        return Printf("%.1f s", seconds);
    long total = std::lround(seconds);
    char buf[32];
    if (total < 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld", total / 60, total % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return buf;
}

std::string LiveProgressLine(const std::string &phase, const ProgressFigures &f)
{
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", std::clamp(f.percent, 0, 100));
    std::string line = PaddedPhase(phase) + " " + FormatBar(f.percent, kBarWidth) + " " + pct;
    if (f.totalBytes <= 0)
        return line;
    line += "  " + Printf("%.1f/%.1f kB", DoneBytes(f) / 1000.0, f.totalBytes / 1000.0);
    double rate = Throughput(f);
    if (rate <= 0)
        return line;
    line += "  " + Printf("%.1f kB/s", rate / 1000.0);
    if (f.percent >= 100)
        return line + "  in " + FormatSeconds(f.seconds);
    return line + "  ETA " + FormatSeconds((f.totalBytes - DoneBytes(f)) / rate);
}

std::string PlainProgressLine(const std::string &phase, const ProgressFigures &f)
{
    std::string line = phase + ": " + std::to_string(std::clamp(f.percent, 0, 100)) + "%";
    if (f.totalBytes <= 0)
        return line;
    line += " (" + Printf("%.1f of %.1f kB", DoneBytes(f) / 1000.0, f.totalBytes / 1000.0);
    double rate = Throughput(f);
    if (rate > 0)
        line += ", " + Printf("%.1f kB/s", rate / 1000.0);
    return line + ")";
}

std::string LiveEraseLine(double seconds, unsigned tick)
{
    static const char kSpinner[] = "|/-\\";
    return PaddedPhase("Erasing") + " " + kSpinner[tick % 4] + "  " + FormatSeconds(seconds);
}
