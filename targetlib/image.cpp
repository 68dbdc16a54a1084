// Image files: "zimg", information text, start address, blocks, checksum.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "targetlib/checksum.h"
#include "targetlib/libstate.h"
#include "targetlib/transact.h"

namespace {

bool Corrupt()
{
    Trace("  ERR:  The Zelvo Image File appears to be corrupt.\n");
    return false;
}

// Paths are UTF-8 text. Windows' narrow file functions take the ANSI code
// page instead, so there the name goes through a wide path; a name that is
// not UTF-8 (an ANSI path from the system) is opened as it is.
void OpenBinary(std::ifstream &in, const char *fname)
{
#ifdef _WIN32
    try {
        in.open(std::filesystem::u8path(fname), std::ios::binary);
        return;
    } catch (const std::exception &) {
    }
#endif
    in.open(fname, std::ios::binary);
}

// The whole file, or false when it cannot be opened or read.
bool ReadWholeFile(const char *fname, std::string &bytes)
{
    std::ifstream in;
    OpenBinary(in, fname);
    if (!in)
        return false;
    char chunk[16384];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        bytes.append(chunk, size_t(in.gcount()));
    return !in.bad();
}

bool HasMagic(const std::string &bytes)
{
    return bytes.size() >= 4 && bytes.compare(0, 4, "zimg") == 0;
}

bool ChecksumMatches(const unsigned char *p, size_t size)
{
    const unsigned char *field = p + size - 4;
    return CalcFletcher32(p, int((size - 4) / 2)) == ReadULong(&field);
}

// Reads the fields covered by the checksum (bytes p .. end) into `img`.
// Prints the reason and returns false when a field runs past `end` or a
// block cannot travel in one frame. Never reads at or beyond `end`.
bool ParseBody(const unsigned char *p, const unsigned char *end, IMG &img)
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
        b.data.assign(reinterpret_cast<const char *>(at), b.length);
        at += b.length;
        img.blocks.push_back(std::move(b));
    }
    return true;
}

}  // namespace

IMG *ReadImage(const char *fname)
{
    LastErr = ErrImage;
    std::string bytes;
    if (!ReadWholeFile(fname, bytes)) {
        Trace("  ERR:  Unable to open image file <%s>\n", fname);
        return nullptr;
    }
    if (!HasMagic(bytes)) {
        Trace("  ERR:  This does not appear to be a Zelvo Image file.\n");
        return nullptr;
    }
    const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes.data());
    if (!ChecksumMatches(p, bytes.size())) {
        Corrupt();
        return nullptr;
    }
    auto img = std::make_unique<IMG>();
    if (!ParseBody(p, p + bytes.size() - 4, *img))
        return nullptr;
    Trace("Image Information:\n--------\n%s--------\nLoaded %d blocks.\n", img->info.c_str(),
          int(img->blocks.size()));
    LastErr = ErrNone;
    return img.release();
}

const char *GetImageInfo(IMG *ip)
{
    return ip ? ip->info.c_str() : "";
}
