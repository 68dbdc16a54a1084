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
#include "targetlib/imagefile.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

namespace {

const char kCorrupt[] = "  ERR:  The Zelvo Image File appears to be corrupt.\n";
const std::string kInfo = "VN:1.2.3\r\nMD:VKT-3\r\nHW:VKT3K\r\n";

// An image of `count` empty blocks: 3 bytes of file each.
std::string EmptyBlocksImage(uint32_t count)
{
    return BuildImage(kInfo, 0, std::vector<BLK>(count, BLK{0, 0, ""}));
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
        EXPECT_TRUE(WriteFileBytes(path, bytes));
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

    // Both ReadImage and ReadImageInfo refuse `path` with exactly `line`.
    static void ExpectRefused(const std::string &path, const std::string &line)
    {
        std::string out;
        EXPECT_EQ(Load(path, out), nullptr);
        EXPECT_EQ(out, line);
        EXPECT_EQ(LastError(), ErrImage);
        std::string info = "kept";
        testing::internal::CaptureStdout();
        EXPECT_FALSE(ReadImageInfo(path.c_str(), info));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), line);
        EXPECT_EQ(LastError(), ErrImage);
        EXPECT_EQ(info, "kept");
    }

    fs::path dir;
};

}  // namespace

TEST_F(ImageLimits, ADirectoryCannotBeOpenedAsAnImage)
{
    const std::string path = PathOf("folder.bin");
    ASSERT_TRUE(fs::create_directory(path));
    ExpectRefused(path, "  ERR:  Unable to open image file <" + path + ">\n");
}

TEST_F(ImageLimits, AFileLargerThanTheCapIsRefusedWithoutBeingRead)
{
    // Sparse: the size is there, the bytes are not.
    const std::string path = Write("huge.bin", "zimg");
    fs::resize_file(path, kMaxImageFileBytes + 1);
    ExpectRefused(path, "  ERR:  Image file <" + path + "> is too large (" +
                            std::to_string(kMaxImageFileBytes + 1) +
                            " bytes; image files are at most 64 MiB).\n");
}

TEST_F(ImageLimits, BlocksThatWouldTakeFarMoreMemoryThanTheFileAreCorrupt)
{
    // 400,000 empty blocks: 1.2 MB of file, 16 MB of records (64-bit).
    const std::string bytes = EmptyBlocksImage(400000);
    ASSERT_GT(400000 * BlockMemory(0), ImageMemoryBound(bytes.size()));
    // Listing judges it as loading does.
    ExpectRefused(Write("empty-blocks.bin", bytes), kCorrupt);
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
