// Image files: "zimg", information text, start address, blocks, checksum.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <vector>

#include "targetlib/checksum.h"
#include "targetlib/imagefile.h"
#include "targetlib/libstate.h"
#include "targetlib/sha256.h"
#include "targetlib/transact.h"
#include "targetlib/utf8path.h"

namespace fs = std::filesystem;

namespace {

bool Corrupt()
{
    TraceError("  ERR:  The Zelvo Image File appears to be corrupt.\n");
    return false;
}

// A file's bytes, read whole. Files up to kKeptBufferBytes go into a buffer
// that each thread keeps from one file to the next, so that listing a folder
// of images costs no allocation and no fresh pages per file; a larger file
// gets a buffer of its own, given back once the image is loaded.
struct FileBytes {
    const unsigned char *data = nullptr;
    size_t size = 0;
    std::unique_ptr<unsigned char[]> own;
};

thread_local std::vector<unsigned char> keptBuffer;

unsigned char *BufferFor(size_t size, FileBytes &bytes)
{
    if (size > kKeptBufferBytes) {
        bytes.own.reset(new unsigned char[size]);
        return bytes.own.get();
    }
    if (keptBuffer.size() < size)
        keptBuffer.resize(size);
    return keptBuffer.data();
}

enum class FileRead { Done, CannotOpen, TooLarge };

// Only a regular file (or a link to one) is read: a directory, a FIFO or a
// device node is refused before it is opened, so none of them blocks or
// reads without end.
FileRead ReadWholeFile(const char *fname, FileBytes &bytes, unsigned long long &size)
{
    const fs::path path = PathOfName(fname);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::is_regular_file(status))
        return FileRead::CannotOpen;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return FileRead::CannotOpen;
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    in.seekg(0, std::ios::beg);
    if (length < 0 || !in)
        return FileRead::CannotOpen;
    size = static_cast<unsigned long long>(length);
    if (size > kMaxImageFileBytes)
        return FileRead::TooLarge;
    unsigned char *buffer = BufferFor(size_t(size), bytes);
    in.read(reinterpret_cast<char *>(buffer), length);
    if (in.gcount() != length || in.bad())
        return FileRead::CannotOpen;
    bytes.data = buffer;
    bytes.size = size_t(size);
    return FileRead::Done;
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

// One block record as the file holds it.
struct Record {
    uint8_t flags;
    uint16_t length;
    const unsigned char *data;
};

// Reads the record at `at` (advanced past it); false when it runs past `end`.
bool NextRecord(const unsigned char *&at, const unsigned char *end, Record &r)
{
    if (end - at < 3)
        return false;
    r.flags = *at++;
    r.length = ReadUShort(&at);
    if (end - at < r.length)
        return false;
    r.data = at;
    at += r.length;
    return true;
}

// Walks the `count` block records from `at` without storing them: each must
// lie before `end` and fit in one frame, and the memory they would take once
// loaded must stay within ImageMemoryBound. Prints the reason on failure.
bool CheckRecords(const unsigned char *at, const unsigned char *end, uint32_t count, size_t fileSize)
{
    const size_t bound = ImageMemoryBound(fileSize);
    size_t memory = 0;
    Record r;
    for (uint32_t i = 0; i < count; i++) {
        // Each record takes at least 3 bytes, so a count the file cannot
        // hold ends the walk at the file's end.
        if (!NextRecord(at, end, r))
            return Corrupt();
        if (r.length > kMaxPayload) {
            TraceError("  ERR:  Block %u of the image is %u bytes long; at most %d fit in one frame.\n",
                  unsigned(i), unsigned(r.length), kMaxPayload);
            return false;
        }
        memory += BlockMemory(r.length);
        if (memory > bound)
            return Corrupt();
    }
    return true;
}

// Copies `count` records, already checked, from `at` into `blocks`.
void StoreRecords(const unsigned char *at, const unsigned char *end, uint32_t count, std::vector<BLK> &blocks)
{
    blocks.reserve(count);
    Record r;
    for (uint32_t i = 0; i < count && NextRecord(at, end, r); i++)
        blocks.push_back(BLK{r.flags, r.length, std::string(reinterpret_cast<const char *>(r.data), r.length)});
}

// Reads the fields covered by the checksum (bytes p .. end) into `img`, the
// blocks only when `keepBlocks` (`blockCount` counts them either way).
// Prints the reason and returns false when a field runs past `end`, a block
// cannot travel in one frame or the blocks would take too much memory.
// Never reads at or beyond `end`.
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
    blockCount = ReadULong(&at);
    if (!CheckRecords(at, end, blockCount, size_t(end - p) + 4))
        return false;
    if (keepBlocks)
        StoreRecords(at, end, blockCount, img.blocks);
    return true;
}

std::unique_ptr<IMG> RefuseUnreadable(FileRead why, const char *fname, unsigned long long size)
{
    if (why == FileRead::TooLarge)
        TraceError("  ERR:  Image file <%s> is too large (%llu bytes; image files are at most %u MiB).\n",
              fname, size, unsigned(kMaxImageFileBytes >> 20));
    else
        TraceError("  ERR:  Unable to open image file <%s>\n", fname);
    return nullptr;
}

// Loads, checks and reports an image file as ReadImage does; the blocks'
// data is kept only when `keepBlocks`.
std::unique_ptr<IMG> LoadImage(const char *fname, bool keepBlocks)
{
    FileBytes bytes;
    unsigned long long size = 0;
    const FileRead read = ReadWholeFile(fname, bytes, size);
    if (read != FileRead::Done)
        return RefuseUnreadable(read, fname, size);
    if (!HasMagic(bytes)) {
        TraceError("  ERR:  This does not appear to be a Zelvo Image file.\n");
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
    // The digest is the image's identity in every record and comparison: an
    // image without one is no image.
    img->sha256 = Sha256Hex(bytes.data, bytes.size);
    if (img->sha256.empty()) {
        TraceError("  ERR:  Could not compute the SHA-256 of image file <%s>.\n", fname);
        return nullptr;
    }
    Trace("Image Information:\n--------\n%s--------\nLoaded %d blocks.\n", img->info.c_str(),
          int(blockCount));
    return img;
}

// LoadImage with LastErr set, and nothing thrown: a failing allocation or
// file-system call refuses the file like any other failure.
std::unique_ptr<IMG> LoadImageOrRefuse(const char *fname, bool keepBlocks) noexcept
{
    BeginOperation();
    LastErr = ErrImage;
    try {
        std::unique_ptr<IMG> img = LoadImage(fname, keepBlocks);
        if (img)
            LastErr = ErrNone;
        return img;
    } catch (const std::bad_alloc &) {
        TraceError("  ERR:  Not enough memory to load image file <%s>.\n", fname);
    } catch (...) {
        TraceError("  ERR:  Unable to open image file <%s>\n", fname);
    }
    return nullptr;
}

}  // namespace

size_t BlockMemory(uint16_t length)
{
    static const size_t inPlace = std::string().capacity();
    return sizeof(BLK) + (length > inPlace ? size_t(length) + kHeapAllowance : 0);
}

size_t ImageMemoryBound(size_t fileSize)
{
    return 2 * fileSize + kImageMemoryFloor;
}

size_t KeptImageBufferBytes()
{
    return keptBuffer.capacity();
}

IMG *ReadImage(const char *fname) noexcept
{
    return LoadImageOrRefuse(fname, true).release();
}

bool ReadImageInfo(const char *fname, std::string &info, std::string *sha256) noexcept
{
    std::unique_ptr<IMG> img = LoadImageOrRefuse(fname, false);
    if (!img)
        return false;
    info.swap(img->info);
    if (sha256)
        sha256->swap(img->sha256);
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
