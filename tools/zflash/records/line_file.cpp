#include "tools/zflash/records/line_file.h"

#include <cstring>

#include "targetlib/sha256.h"
#include "targetlib/utf8path.h"

namespace {

constexpr size_t kChunk = size_t(64) * 1024;

// The SHA-256 of the first line of `in` (up to LineFile::kMaxLine bytes);
// empty without a complete one.
std::string FirstLineFingerprint(std::istream &in)
{
    in.clear();
    in.seekg(0);
    std::string first;
    char buffer[4096];
    while (first.size() < LineFile::kMaxLine && in.read(buffer, sizeof buffer).gcount() > 0) {
        first.append(buffer, size_t(in.gcount()));
        const size_t end = first.find('\n');
        if (end != std::string::npos)
            return Sha256Hex(first.data(), end);
    }
    in.clear();
    return first.size() >= LineFile::kMaxLine ? Sha256Hex(first.data(), LineFile::kMaxLine) : std::string();
}

}  // namespace

bool LineFile::Open(std::string &error)
{
    Close();
    in.open(PathOfName(path), std::ios::binary);
    if (!in.is_open()) {
        error = "cannot read " + path;
        return false;
    }
    offset = line = 0;
    return true;
}

void LineFile::Close()
{
    if (in.is_open())
        in.close();
    in.clear();
}

std::string LineFile::Fingerprint()
{
    return in.is_open() ? FirstLineFingerprint(in) : std::string();
}

void LineFile::Seek(long long at, long long lines)
{
    offset = at;
    line = lines;
}

long long LineFile::Size()
{
    in.clear();
    in.seekg(0, std::ios::end);
    const long long size = in.tellg();
    in.clear();
    return size;
}

std::vector<FileLine> LineFile::Read(size_t max, bool *truncated)
{
    std::vector<FileLine> lines;
    if (!in.is_open())
        return lines;
    const long long size = Size();
    if (truncated)
        *truncated = size >= 0 && size < offset;
    if (size >= 0 && size < offset)
        offset = line = 0;
    in.seekg(offset);
    std::string pending;  // bytes of the line being read (none kept once it is overlong)
    long long at = offset;
    bool overlong = false;
    char buffer[kChunk];
    while (lines.size() < max && in.read(buffer, sizeof buffer).gcount() > 0) {
        const size_t n = size_t(in.gcount());
        size_t start = 0;
        while (start < n && lines.size() < max) {
            const char *newline = static_cast<const char *>(std::memchr(buffer + start, '\n', n - start));
            const size_t end = newline ? size_t(newline - buffer) : n;
            overlong = overlong || pending.size() + (end - start) > kMaxLine;
            if (overlong)
                pending.clear();
            else
                pending.append(buffer + start, end - start);
            at += static_cast<long long>(end - start);
            start = end;
            if (!newline)
                break;
            at += 1;
            start += 1;
            lines.push_back({std::move(pending), ++line, at, overlong});
            pending.clear();
            overlong = false;
            offset = at;
        }
    }
    in.clear();
    return lines;
}

bool LineFile::HasPartial()
{
    return in.is_open() && Size() > offset;
}

bool LineFile::Rotated()
{
    if (!in.is_open())
        return false;
    std::ifstream now(PathOfName(path), std::ios::binary);
    if (!now.is_open())
        return true;
    return FirstLineFingerprint(now) != Fingerprint();
}

std::string FingerprintOfFile(const std::string &path)
{
    std::ifstream in(PathOfName(path), std::ios::binary);
    return in.is_open() ? FirstLineFingerprint(in) : std::string();
}
