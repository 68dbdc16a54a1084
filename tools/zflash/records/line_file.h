// A records file read line by line from a position, as it grows: only
// complete lines (a last line without its end waits for it), each with its
// number and the offset after it. It keeps the file it opened, so a file
// renamed away (rotated) is still read to its end; a file is known by its
// fingerprint, the SHA-256 of its first line, wherever it lies.
#pragma once

#include <fstream>
#include <string>
#include <vector>

struct FileLine {
    std::string text;      // without its line end
    long long number = 0;  // 1 for the first line
    long long end = 0;     // the offset after its line end
    bool overlong = false; // longer than kMaxLine: `text` is cut
};

class LineFile {
public:
    static constexpr size_t kMaxLine = 1 << 20;

    explicit LineFile(std::string path) : path(std::move(path)) {}

    // Opens the file now at the path, from its start; false with the reason.
    bool Open(std::string &error);
    bool IsOpen() const { return in.is_open(); }
    void Close();
    const std::string &Path() const { return path; }

    // The open file's fingerprint; empty until it has a complete first line.
    std::string Fingerprint();
    long long Offset() const { return offset; }  // where the next line starts
    long long Line() const { return line; }      // lines before it
    void Seek(long long at, long long lines);
    // Up to `max` complete lines from the position, which moves past them. A
    // file that became shorter than the position was cut: read again from
    // its start (`truncated` says so).
    std::vector<FileLine> Read(size_t max, bool *truncated = nullptr);
    // Bytes after the last complete line: a line still being written, or
    // one that was never ended.
    bool HasPartial();
    // The path names another file now (or none): this one was rotated away
    // or replaced.
    bool Rotated();

private:
    long long Size();

    std::string path;
    std::ifstream in;
    long long offset = 0, line = 0;
};

// The fingerprint of the file `path` names: empty when it cannot be read
// or has no complete first line.
std::string FingerprintOfFile(const std::string &path);
