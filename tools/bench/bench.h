// zbench: measured speed of the device link and the catalogue. Each
// benchmark writes its figures as one "RESULT key=value ..." line on standard
// error; the library's own trace stays on standard output.
#pragma once

#include <string>
#include <vector>

// Wall-clock seconds from a steady clock, and this process's CPU seconds
// (user + system).
double WallSeconds();
double CpuSeconds();

// Writes "RESULT <name> key=value ..." to standard error.
void PrintResult(const std::string &name, const std::vector<std::pair<std::string, std::string>> &fields);
std::string Fixed(double value, int decimals);

// Value of "--key value" in args, or `fallback`.
std::string Option(const std::vector<std::string> &args, const std::string &key, const std::string &fallback);
bool Flag(const std::vector<std::string> &args, const std::string &key);

// The benchmarks; each returns the process exit status.
int BenchProgram(const std::vector<std::string> &args);
int BenchRxRate(const std::vector<std::string> &args);
int BenchDiscovery(const std::vector<std::string> &args);
#ifndef _WIN32
int BenchCapture(const std::vector<std::string> &args);
int BenchPeer(const std::vector<std::string> &args);
int BenchGang(const std::vector<std::string> &args);
int BenchStation(const std::vector<std::string> &args);
int BenchScrape(const std::vector<std::string> &args);
#endif
