#include "targetlib/sha256.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "targetlib/utf8path.h"

std::string FileSha256(const std::string &path)
{
    std::ifstream in(PathOfName(path), std::ios::binary);
    if (!in)
        return std::string();
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::string();
    return Sha256Hex(bytes.data(), bytes.size());
}

std::string HexOfDigest(const unsigned char *digest)
{
    static const char kHex[] = "0123456789abcdef";
    std::string hex(64, '0');
    for (size_t i = 0; i < 32; ++i) {
        hex[2 * i] = kHex[digest[i] >> 4];
        hex[2 * i + 1] = kHex[digest[i] & 0x0F];
    }
    return hex;
}
