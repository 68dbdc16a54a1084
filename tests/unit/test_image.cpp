#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "targetlib/capture.h"
#include "targetlib/checksum.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

namespace {

const char kNotZelvo[] = "  ERR:  This does not appear to be a Zelvo Image file.\n";
const char kCorrupt[] = "  ERR:  The Zelvo Image File appears to be corrupt.\n";
const std::string kInfo = "VN:1.2.3\r\nMD:VKT-3\r\nHW:VKT3K\r\n";

std::string BE32(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// `body` (everything before the checksum field) followed by its checksum.
std::string Seal(const std::string &body)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(body.data());
    return body + BE32(CalcFletcher32(p, int(body.size() / 2)));
}

// "zimg", the uninterpreted word and the information text with its zero.
std::string Header(const std::string &info)
{
    return std::string("zimg") + std::string(4, '\0') + info + std::string(1, '\0');
}

struct Loaded {
    std::unique_ptr<IMG> img;
    std::string out;
};

class ReadImageTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        dir = fs::temp_directory_path() / ("zimg-test-" + std::to_string(rd()) + "-" +
                                           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        ASSERT_TRUE(fs::create_directory(dir));
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::string Write(const std::string &bytes)
    {
        std::string path = (dir / ("image" + std::to_string(files++) + ".bin")).string();
        FILE *f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
            std::fclose(f);
        }
        return path;
    }

    Loaded Load(const std::string &bytes)
    {
        std::string path = Write(bytes);
        testing::internal::CaptureStdout();
        Loaded r;
        r.img.reset(ReadImage(path.c_str()));
        r.out = testing::internal::GetCapturedStdout();
        return r;
    }

    // Expects the file to be refused with exactly `line` and LastError 5.
    void ExpectRefused(const std::string &bytes, const std::string &line)
    {
        Loaded r = Load(bytes);
        EXPECT_EQ(r.img, nullptr);
        EXPECT_EQ(r.out, line);
        EXPECT_EQ(LastError(), 5);
    }

    fs::path dir;
    int files = 0;
};

}  // namespace

TEST_F(ReadImageTest, LoadsAddressInfoAndBlocksInFileOrder)
{
    std::string big(200, '\xA5');
    Loaded r = Load(BuildImage(kInfo, 0x20001000, {{0x01, 3, "abc"}, {0xFE, 200, big}}));
    ASSERT_NE(r.img, nullptr);
    EXPECT_EQ(r.img->address, 0x20001000u);
    EXPECT_EQ(r.img->info, kInfo);
    ASSERT_EQ(r.img->blocks.size(), 2u);
    EXPECT_EQ(r.img->blocks[0].flags, 0x01);
    EXPECT_EQ(r.img->blocks[0].length, 3);
    EXPECT_EQ(r.img->blocks[0].data, "abc");
    EXPECT_EQ(r.img->blocks[1].flags, 0xFE);
    EXPECT_EQ(r.img->blocks[1].length, 200);
    EXPECT_EQ(r.img->blocks[1].data, big);
    EXPECT_EQ(LastError(), 0);
    EXPECT_STREQ(GetImageInfo(r.img.get()), kInfo.c_str());
}

TEST_F(ReadImageTest, PrintsTheInformationTextAndBlockCount)
{
    Loaded r = Load(BuildImage(kInfo, 0, {{0, 1, "x"}, {0, 1, "y"}, {0, 1, "z"}}));
    EXPECT_EQ(r.out, "Image Information:\n--------\n" + kInfo + "--------\nLoaded 3 blocks.\n");
}

TEST_F(ReadImageTest, GetImageInfoOfNoImageIsEmpty)
{
    EXPECT_STREQ(GetImageInfo(nullptr), "");
}

TEST_F(ReadImageTest, MissingFileIsReportedByName)
{
    std::string path = (dir / "absent.bin").string();
    testing::internal::CaptureStdout();
    EXPECT_EQ(ReadImage(path.c_str()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "  ERR:  Unable to open image file <" + path + ">\n");
    EXPECT_EQ(LastError(), 5);
}

TEST_F(ReadImageTest, FilesWithoutTheExactMagicAreNotZelvoImages)
{
    ExpectRefused("", kNotZelvo);
    ExpectRefused("zim", kNotZelvo);
    ExpectRefused("ZIMG", kNotZelvo);
    std::string valid = BuildImage(kInfo, 0, {});
    valid[0] = 'Z';
    ExpectRefused(valid, kNotZelvo);
}

TEST_F(ReadImageTest, MagicAloneIsCorruptBecauseItsChecksumFieldIsTheMagic)
{
    ExpectRefused("zimg", kCorrupt);
}

TEST_F(ReadImageTest, ChangingAnyCoveredByteAfterTheMagicOrTheChecksumIsDetected)
{
    std::string valid = BuildImage(kInfo, 0x1234, {{1, 4, "abcd"}, {0, 3, "efg"}});
    ASSERT_EQ((valid.size() - 4) % 2, 0u);  // every byte before the field is covered
    for (size_t i = 4; i < valid.size(); i++) {
        std::string bad = valid;
        bad[i] = char(bad[i] ^ 0x10);
        SCOPED_TRACE("byte " + std::to_string(i));
        ExpectRefused(bad, kCorrupt);
    }
}

TEST_F(ReadImageTest, WithOddLengthTheByteBeforeTheChecksumIsNotCovered)
{
    std::string valid = BuildImage("", 0, {{0, 3, "abc"}});
    ASSERT_EQ((valid.size() - 4) % 2, 1u);
    std::string changed = valid;
    changed[valid.size() - 5] = 'Z';
    Loaded r = Load(changed);
    ASSERT_NE(r.img, nullptr);
    EXPECT_EQ(r.img->blocks[0].data, "abZ");
}

TEST_F(ReadImageTest, ImageWithoutBlocksLoads)
{
    Loaded r = Load(BuildImage(kInfo, 7, {}));
    ASSERT_NE(r.img, nullptr);
    EXPECT_TRUE(r.img->blocks.empty());
    EXPECT_EQ(r.img->address, 7u);
    EXPECT_EQ(r.out, "Image Information:\n--------\n" + kInfo + "--------\nLoaded 0 blocks.\n");
}

TEST_F(ReadImageTest, EmptyInformationTextPutsTheAddressAtOffsetNine)
{
    std::string body = Header("") + BE32(0xCAFEF00D) + BE32(0);
    ASSERT_EQ(body.substr(9, 4), BE32(0xCAFEF00D));
    Loaded r = Load(Seal(body));
    ASSERT_NE(r.img, nullptr);
    EXPECT_EQ(r.img->info, "");
    EXPECT_EQ(r.img->address, 0xCAFEF00Du);
}

TEST_F(ReadImageTest, ZeroLengthBlockLoadsWithEmptyData)
{
    Loaded r = Load(BuildImage(kInfo, 0, {{1, 0, ""}, {0, 2, "ok"}}));
    ASSERT_NE(r.img, nullptr);
    ASSERT_EQ(r.img->blocks.size(), 2u);
    EXPECT_EQ(r.img->blocks[0].length, 0);
    EXPECT_EQ(r.img->blocks[0].data, "");
    EXPECT_EQ(r.img->blocks[1].data, "ok");
}

TEST_F(ReadImageTest, BytesAfterTheLastBlockAreIgnored)
{
    std::string body = Header(kInfo) + BE32(0) + BE32(1) + std::string("\x00\x00\x02xy", 5) + "trailing";
    Loaded r = Load(Seal(body));
    ASSERT_NE(r.img, nullptr);
    ASSERT_EQ(r.img->blocks.size(), 1u);
    EXPECT_EQ(r.img->blocks[0].data, "xy");
}

TEST_F(ReadImageTest, InformationTextWithoutItsZeroBeforeTheChecksumIsCorrupt)
{
    ExpectRefused(Seal(std::string("zimg") + std::string(4, '\0') + "VN:1.0"), kCorrupt);
    ExpectRefused(Seal(std::string("zimg") + std::string(4, '\0')), kCorrupt);
}

TEST_F(ReadImageTest, AddressOrCountRunningIntoTheChecksumIsCorrupt)
{
    ExpectRefused(Seal(Header(kInfo) + BE32(0x1000)), kCorrupt);
    ExpectRefused(Seal(Header(kInfo) + BE32(0x1000) + std::string(3, '\0')), kCorrupt);
}

TEST_F(ReadImageTest, BlockRecordsRunningIntoTheChecksumAreCorrupt)
{
    // Two records announced, one present.
    ExpectRefused(Seal(Header(kInfo) + BE32(0) + BE32(2) + std::string("\x00\x00\x01z", 4)), kCorrupt);
    // A record header cut short.
    ExpectRefused(Seal(Header(kInfo) + BE32(0) + BE32(1) + std::string("\x00\x00", 2)), kCorrupt);
    // Data shorter than the record's length.
    ExpectRefused(BuildImage(kInfo, 0, {{0, 10, "abc"}}), kCorrupt);
}

TEST_F(ReadImageTest, HugeBlockCountInASmallFileIsRefused)
{
    ExpectRefused(Seal(Header(kInfo) + BE32(0) + BE32(0xFFFFFFFF) + std::string("\x00\x00\x01z", 4)), kCorrupt);
}

TEST_F(ReadImageTest, BlockLongerThanOneFrameCarriesIsRefusedAtLoad)
{
    std::string fits(1143, 'a'), tooLong(1144, 'b');
    Loaded ok = Load(BuildImage(kInfo, 0, {{0, 1143, fits}}));
    ASSERT_NE(ok.img, nullptr);
    EXPECT_EQ(ok.img->blocks[0].length, 1143);

    ExpectRefused(BuildImage(kInfo, 0, {{0, 1, "a"}, {0, 1144, tooLong}}),
                  "  ERR:  Block 1 of the image is 1144 bytes long; at most 1143 fit in one frame.\n");
}

TEST_F(ReadImageTest, InfoOnlyLoadingChecksAndReportsAsTheFullLoad)
{
    const std::string good = BuildImage(kInfo, 0x100, {{0x00, 3, "abc"}, {0x01, 2, "de"}});
    const std::string path = Write(good);
    testing::internal::CaptureStdout();
    std::unique_ptr<IMG> full(ReadImage(path.c_str()));
    const std::string fullOut = testing::internal::GetCapturedStdout();

    std::string info = "stale";
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ReadImageInfo(path.c_str(), info));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), fullOut);
    EXPECT_EQ(info, kInfo);
    EXPECT_EQ(LastError(), 0);

    std::string damaged = good;
    damaged[10] ^= 0x20;
    info = "kept";
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ReadImageInfo(Write(damaged).c_str(), info));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kCorrupt);
    EXPECT_EQ(info, "kept");
    EXPECT_EQ(LastError(), 5);
}
