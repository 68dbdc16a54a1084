// Texts of the progress display: pure functions of the figures.
#pragma once

#include <string>

struct ProgressFigures {
    int percent = 0;         // 0..100
    double totalBytes = 0;   // bytes in the phase's blocks; 0: not known
    double seconds = 0;      // since the phase started
};

std::string FormatBar(int percent, int width);   // "[#####     ]"
std::string FormatKilobytes(double bytes);       // "130.0 kB" (1 kB = 1000 bytes)
std::string FormatSeconds(double seconds);       // "3.2 s", "1:05", "1:02:03"

// One updating terminal line: phase, bar, percent, bytes, throughput, ETA.
std::string LiveProgressLine(const std::string &phase, const ProgressFigures &f);
// One line of plain output: phase, percent, bytes and throughput.
std::string PlainProgressLine(const std::string &phase, const ProgressFigures &f);
// The erase has no percentage: a spinner (tick counts its steps) and the time so far.
std::string LiveEraseLine(double seconds, unsigned tick);
