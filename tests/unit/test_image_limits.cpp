// The image loader on files that are not what they claim: directories, files
// too large for any image, block records that would take far more memory
// than the file, and large images whose read buffer must not stay behind.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "targetlib/capture.h"
#include "targetlib/checksum.h"
#include "targetlib/imagefile.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

namespace {

const char kCorrupt[] = "  ERR:  The Zelvo Image File appears to be corrupt.\n";
const std::string kInfo = "VN:1.2.3\r\nMD:VKT-3\r\nHW:VKT3K\r\n";

std::string BE32(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// An image of `count` empty blocks: 3 bytes of file each.
std::string EmptyBlocksImage(uint32_t count)
{
    std::string body = std::string("zimg") + std::string(4, '\0') + kInfo + '\0' + BE32(0) + BE32(count);
    body.append(size_t(count) * 3, '\0');
    const unsigned char *p = reinterpret_cast<const unsigned char *>(body.data());
    return body + BE32(CalcFletcher32(p, int(body.size() / 2)));
}

class ImageLimits : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        dir = fs::temp_directory_path() /
              ("zimg-limits-" + std::to_string(rd()) + "-" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        ASSERT_TRUE(fs::create_directory(dir));
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::string PathOf(const std::string &name) const { return (dir / name).string(); }

    std::string Write(const std::string &name, const std::string &bytes)
    {
        std::string path = PathOf(name);
        FILE *f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
            std::fclose(f);
        }
        return path;
    }

    // ReadImage of `path`, its trace in `out`.
    static std::unique_ptr<IMG> Load(const std::string &path, std::string &out)
    {
        testing::internal::CaptureStdout();
        std::unique_ptr<IMG> img(ReadImage(path.c_str()));
        out = testing::internal::GetCapturedStdout();
        return img;
    }

    // ReadImageInfo of `path`, its trace in `out`.
    static bool LoadInfo(const std::string &path, std::string &out)
    {
        std::string info;
        testing::internal::CaptureStdout();
        bool ok = ReadImageInfo(path.c_str(), info);
        out = testing::internal::GetCapturedStdout();
        return ok;
    }

    fs::path dir;
};

}  // namespace

TEST_F(ImageLimits, ADirectoryCannotBeOpenedAsAnImage)
{
    const std::string path = PathOf("folder.bin");
    ASSERT_TRUE(fs::create_directory(path));
    const std::string line = "  ERR:  Unable to open image file <" + path + ">\n";
    std::string out;
    EXPECT_EQ(Load(path, out), nullptr);
    EXPECT_EQ(out, line);
    EXPECT_EQ(LastError(), ErrImage);
    EXPECT_FALSE(LoadInfo(path, out));
    EXPECT_EQ(out, line);
    EXPECT_EQ(LastError(), ErrImage);
}

TEST_F(ImageLimits, AFileLargerThanTheCapIsRefusedWithoutBeingRead)
{
    // Sparse: the size is there, the bytes are not.
    const std::string path = PathOf("huge.bin");
    Write("huge.bin", "zimg");
    fs::resize_file(path, kMaxImageFileBytes + 1);
    const std::string line = "  ERR:  Image file <" + path + "> is too large (" +
                             std::to_string(kMaxImageFileBytes + 1) + " bytes; image files are at most 64 MiB).\n";
    std::string out;
    EXPECT_EQ(Load(path, out), nullptr);
    EXPECT_EQ(out, line);
    EXPECT_EQ(LastError(), ErrImage);
    EXPECT_FALSE(LoadInfo(path, out));
    EXPECT_EQ(out, line);
}

TEST_F(ImageLimits, BlocksThatWouldTakeFarMoreMemoryThanTheFileAreCorrupt)
{
    // 400,000 empty blocks: 1.2 MB of file, 16 MB of records (64-bit).
    const std::string bytes = EmptyBlocksImage(400000);
    ASSERT_GT(400000 * BlockMemory(0), ImageMemoryBound(bytes.size()));
    const std::string path = Write("empty-blocks.bin", bytes);
    std::string out;
    EXPECT_EQ(Load(path, out), nullptr);
    EXPECT_EQ(out, kCorrupt);
    EXPECT_EQ(LastError(), ErrImage);
    // Listing judges it as loading does.
    EXPECT_FALSE(LoadInfo(path, out));
    EXPECT_EQ(out, kCorrupt);
}

TEST_F(ImageLimits, ASmallImageOfManyEmptyBlocksStillLoads)
{
    std::string out;
    std::unique_ptr<IMG> img = Load(Write("small.bin", EmptyBlocksImage(2000)), out);
    ASSERT_NE(img, nullptr) << out;
    EXPECT_EQ(img->blocks.size(), 2000u);
}

TEST_F(ImageLimits, LargeImagesWithBlocksOfUsualSizesLoad)
{
    std::mt19937 rng(5);
    std::string data(3u << 20, '\0');
    for (char &c : data)
        c = char(rng());
    for (size_t blockSize : {64u, 256u, 1143u}) {
        const std::string path = PathOf("fw-" + std::to_string(blockSize) + ".bin");
        ASSERT_TRUE(WriteImageFile(path, kInfo, 0x08010000, SplitIntoBlocks(data, blockSize)));
        std::string out;
        std::unique_ptr<IMG> img = Load(path, out);
        ASSERT_NE(img, nullptr) << "blocks of " << blockSize << ": " << out;
        EXPECT_EQ(img->blocks.size(), (data.size() + blockSize - 1) / blockSize);
    }
}

TEST_F(ImageLimits, ALargeImageLeavesNoLargeReadBufferBehind)
{
    const std::string data((kKeptBufferBytes / 1143 + 16) * 1143, '\x5A');
    const std::string path = PathOf("large.bin");
    ASSERT_TRUE(WriteImageFile(path, kInfo, 0, SplitIntoBlocks(data, 1143)));
    ASSERT_GT(fs::file_size(path), kKeptBufferBytes);
    std::string out;
    std::unique_ptr<IMG> img = Load(path, out);
    ASSERT_NE(img, nullptr) << out;
    EXPECT_EQ(img->blocks.size(), data.size() / 1143);
    EXPECT_LE(KeptImageBufferBytes(), kKeptBufferBytes);
    std::string info;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ReadImageInfo(path.c_str(), info));
    testing::internal::GetCapturedStdout();
    EXPECT_LE(KeptImageBufferBytes(), kKeptBufferBytes);
}
