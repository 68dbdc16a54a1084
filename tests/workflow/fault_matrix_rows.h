// The rows of the fault-injection matrix: each cell runs in its own process
// and leaves one row file in the folder named by ZF_FAULT_MATRIX; the table
// is put together from those files once every cell has run.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct MatrixRow {
    std::string fault;
    std::string phase;
    std::string outcome;
    bool asExpected = false;
    double seconds = 0;
    double cpuSeconds = 0;  // processor time of the host and the simulator together
};

// The folder that the matrix writes its rows to; empty when the matrix is not
// asked for (it then skips: its erase time-outs alone take minutes).
inline std::string MatrixRowsDir()
{
    const char *dir = std::getenv("ZF_FAULT_MATRIX");
    return dir ? dir : "";
}

inline std::string MatrixRowPath(const std::string &dir, size_t index)
{
    return dir + "/" + std::to_string(index) + ".row";
}

// Tabs and line ends cannot occur in the fields: the outcome is made of log
// lines, the other fields are the matrix's own labels.
inline bool WriteMatrixRow(const std::string &dir, size_t index, const MatrixRow &row)
{
    const std::string path = MatrixRowPath(dir, index);
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << row.fault << '\t' << row.phase << '\t' << (row.asExpected ? 1 : 0) << '\t'
            << row.seconds << '\t' << row.cpuSeconds << '\t' << row.outcome << '\n';
        if (!out)
            return false;
    }
    return std::rename(partial.c_str(), path.c_str()) == 0;
}

inline bool ReadMatrixRow(const std::string &dir, size_t index, MatrixRow &row)
{
    std::ifstream in(MatrixRowPath(dir, index));
    std::string line, expected, seconds, cpuSeconds;
    if (!std::getline(in, line))
        return false;
    std::istringstream fields(line);
    if (!std::getline(fields, row.fault, '\t') || !std::getline(fields, row.phase, '\t') ||
        !std::getline(fields, expected, '\t') || !std::getline(fields, seconds, '\t') ||
        !std::getline(fields, cpuSeconds, '\t') || !std::getline(fields, row.outcome))
        return false;
    row.asExpected = expected == "1";
    row.seconds = std::atof(seconds.c_str());
    row.cpuSeconds = std::atof(cpuSeconds.c_str());
    return true;
}

inline std::string Padded(const std::string &text, size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// One line per row: fault, phase, time, processor time, whether the cell
// ended as its table entry says, and how it ended.
inline std::string FormatMatrix(const std::vector<MatrixRow> &rows)
{
    std::ostringstream out;
    out << Padded("fault", 24) << Padded("phase", 17) << Padded("time", 9) << Padded("cpu", 9)
        << Padded("verdict", 11) << "outcome\n";
    double total = 0;
    for (const MatrixRow &r : rows) {
        char seconds[32], cpu[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", r.seconds);
        std::snprintf(cpu, sizeof cpu, "%.1f s", r.cpuSeconds);
        out << Padded(r.fault, 24) << Padded(r.phase, 17) << Padded(seconds, 9) << Padded(cpu, 9)
            << Padded(r.asExpected ? "expected" : "UNEXPECTED", 11) << r.outcome << '\n';
        total += r.seconds;
    }
    char sum[64];
    std::snprintf(sum, sizeof sum, "%zu cells, %.0f s in all\n", rows.size(), total);
    out << sum;
    return out.str();
}
