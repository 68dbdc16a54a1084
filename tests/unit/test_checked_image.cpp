// The image a front end judged is the image that gets written: a second read
// of its file is compared with the first by digest.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/image_step.h"
#include "catalogue/firmware.h"
#include "tools/imagewriter/imagewriter.h"

namespace {

namespace fs = std::filesystem;

const char *const kInfo = "VN:1.10.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-03-01 12:00\r\n";

void Write(const fs::path &path, const std::string &info, char fill)
{
    const std::string data = info + '\0' + std::string(3000, fill);
    ASSERT_TRUE(WriteImageFile(path.string(), info, 0x08010000, SplitIntoBlocks(data, 256)));
}

TEST(CheckedImage, ASecondReadIsTheSameOnlyWhenTheFileHoldsTheSameBytes)
{
    const fs::path path = fs::temp_directory_path() / "zf_checked_image.bin";
    const struct {
        const char *name;
        const char *info;  // the file's tokens after the judgement; null: removed
        char fill;
        ImageReread expected;
    } cases[] = {
        {"untouched", kInfo, 'A', ImageReread::Same},
        {"written again with the same bytes", kInfo, 'A', ImageReread::Same},
        {"same tokens, other blocks", kInfo, 'B', ImageReread::Changed},
        {"another image", "VN:2.0.0\r\nMD:VKT-Q1\r\nHW:VKTQ1\r\n", 'A', ImageReread::Changed},
        {"removed", nullptr, 'A', ImageReread::Unreadable},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Write(path, kInfo, 'A');
        FirmwareVersion judged;
        ASSERT_TRUE(ReadFirmwareInfo(path.string(), judged));
        ASSERT_EQ(64u, judged.sha256.size());
        if (c.info)
            Write(path, c.info, c.fill);
        else
            fs::remove(path);

        CheckedImage read;
        EXPECT_EQ(c.expected, RereadCheckedImage(judged, read));
        if (c.expected != ImageReread::Unreadable) {
            ASSERT_NE(nullptr, read.image);
            EXPECT_EQ(read.image->sha256, read.fw.sha256);  // the blocks and the digest of one read
            EXPECT_EQ(GetInfoToken(c.info, "VN:"), read.fw.version);  // the tokens of that read too
        }
    }
    fs::remove(path);
}

}  // namespace
