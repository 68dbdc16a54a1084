// Image files: "zimg", information text, start address, blocks, checksum.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "targetlib/checksum.h"
#include "targetlib/libstate.h"
#include "targetlib/transact.h"
#include "targetlib/utf8path.h"

namespace {

bool Corrupt()
{
    Trace("  ERR:  The Zelvo Image File appears to be corrupt.\n");
    return false;
}

// A file's bytes, read whole into a buffer that each thread keeps from one
// file to the next: listing a folder of images then costs no allocation and
// no fresh pages per file.
struct FileBytes {
    const unsigned char *data = nullptr;
    size_t size = 0;
};

// The whole file, or false when it cannot be opened or read. The bytes stay
// valid until the thread reads the next file.
bool ReadWholeFile(const char *fname, FileBytes &bytes)
{
    static thread_local std::vector<unsigned char> buffer;
    std::ifstream in;
    OpenForReading(in, fname);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || !in)
        return false;
    if (buffer.size() < size_t(size))
        buffer.resize(size_t(size));
    in.read(reinterpret_cast<char *>(buffer.data()), size);
    if (in.gcount() != size || in.bad())
        return false;
    bytes.data = buffer.data();
    bytes.size = size_t(size);
    return true;
}

bool HasMagic(const FileBytes &bytes)
{
    return bytes.size >= 4 && std::memcmp(bytes.data, "zimg", 4) == 0;
}

bool ChecksumMatches(const unsigned char *p, size_t size)
{
    const unsigned char *field = p + size - 4;
    return CalcFletcher32(p, int((size - 4) / 2)) == ReadULong(&field);
}

// Reads the fields covered by the checksum (bytes p .. end) into `img`, the
// blocks' data only when `keepBlocks` (`blockCount` counts them either way).
// Prints the reason and returns false when a field runs past `end` or a
// block cannot travel in one frame. Never reads at or beyond `end`.
bool ParseBody(const unsigned char *p, const unsigned char *end, IMG &img, bool keepBlocks,
               uint32_t &blockCount)
{
    if (end - p <= 8)
        return Corrupt();
    const unsigned char *at = p + 8;
    const void *zero = std::memchr(at, 0, size_t(end - at));
    if (!zero)
        return Corrupt();
    img.info.assign(reinterpret_cast<const char *>(at), static_cast<const unsigned char *>(zero) - at);
    at = static_cast<const unsigned char *>(zero) + 1;
    if (end - at < 8)
        return Corrupt();
    img.address = ReadULong(&at);
    uint32_t count = ReadULong(&at);
    blockCount = count;
    // Each record takes at least 3 bytes, so a count the file cannot hold
    // ends the loop at the file's end, before much is stored.
    for (uint32_t i = 0; i < count; i++) {
        if (end - at < 3)
            return Corrupt();
        BLK b;
        b.flags = *at++;
        b.length = ReadUShort(&at);
        if (end - at < b.length)
            return Corrupt();
        if (b.length > kMaxPayload) {
            Trace("  ERR:  Block %u of the image is %u bytes long; at most %d fit in one frame.\n",
                  unsigned(i), unsigned(b.length), kMaxPayload);
            return false;
        }
        const unsigned char *data = at;
        at += b.length;
        if (keepBlocks) {
            b.data.assign(reinterpret_cast<const char *>(data), b.length);
            img.blocks.push_back(std::move(b));
        }
    }
    return true;
}

}  // namespace

namespace {

// Loads, checks and reports an image file as ReadImage does; the blocks'
// data is kept only when `keepBlocks`.
std::unique_ptr<IMG> LoadImage(const char *fname, bool keepBlocks)
{
    BeginOperation();
    LastErr = ErrImage;
    FileBytes bytes;
    if (!ReadWholeFile(fname, bytes)) {
        Trace("  ERR:  Unable to open image file <%s>\n", fname);
        return nullptr;
    }
    if (!HasMagic(bytes)) {
        Trace("  ERR:  This does not appear to be a Zelvo Image file.\n");
        return nullptr;
    }
    const unsigned char *p = bytes.data;
    if (!ChecksumMatches(p, bytes.size)) {
        Corrupt();
        return nullptr;
    }
    auto img = std::make_unique<IMG>();
    uint32_t blockCount = 0;
    if (!ParseBody(p, p + bytes.size - 4, *img, keepBlocks, blockCount))
        return nullptr;
    Trace("Image Information:\n--------\n%s--------\nLoaded %d blocks.\n", img->info.c_str(),
          int(blockCount));
    LastErr = ErrNone;
    return img;
}

}  // namespace

IMG *ReadImage(const char *fname)
{
    return LoadImage(fname, true).release();
}

bool ReadImageInfo(const char *fname, std::string &info)
{
    std::unique_ptr<IMG> img = LoadImage(fname, false);
    if (!img)
        return false;
    info = std::move(img->info);
    return true;
}

const char *GetImageInfo(IMG *ip)
{
    return ip ? ip->info.c_str() : "";
}

uint64_t GetImageBytes(const IMG *ip)
{
    uint64_t bytes = 0;
    if (ip)
        for (const BLK &b : ip->blocks)
            bytes += b.data.size();
    return bytes;
}
