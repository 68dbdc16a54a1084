#include "tools/imagewriter/imagewriter.h"

#include <cstdio>

#include "targetlib/checksum.h"

namespace {

void PutBE(std::string &out, uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; i--)
        out.push_back(char((v >> (8 * i)) & 0xFF));
}

}  // namespace

std::string BuildImage(const std::string &info, uint32_t address, const std::vector<BLK> &blocks)
{
    std::string out = "zimg";
    PutBE(out, 0, 4);  // not interpreted
    out += info;
    out.push_back('\0');
    PutBE(out, address, 4);
    PutBE(out, uint32_t(blocks.size()), 4);
    for (const BLK &b : blocks) {
        out.push_back(char(b.flags));
        PutBE(out, b.length, 2);
        out += b.data;
    }
    uint32_t sum = CalcFletcher32(reinterpret_cast<const unsigned char *>(out.data()), int(out.size() / 2));
    PutBE(out, sum, 4);
    return out;
}

std::vector<BLK> SplitIntoBlocks(const std::string &data, size_t blockSize, uint8_t flags)
{
    std::vector<BLK> blocks;
    for (size_t at = 0; at < data.size(); at += blockSize) {
        std::string part = data.substr(at, blockSize);
        blocks.push_back(BLK{flags, uint16_t(part.size()), part});
    }
    return blocks;
}

bool WriteImageFile(const std::string &path, const std::string &info, uint32_t address,
                    const std::vector<BLK> &blocks)
{
    return WriteFileBytes(path, BuildImage(info, address, blocks));
}

IMG LoaderImage(unsigned baud, size_t codeBytes)
{
    IMG img;
    img.address = 0x20000000;
    img.info = "VN:1.0.4\r\nBR:" + std::to_string(baud) + "\r\n";
    img.blocks = SplitIntoBlocks(img.info + '\0' + std::string(codeBytes, '\xA5'), 256);
    return img;
}

bool WriteFileBytes(const std::string &path, const std::string &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
