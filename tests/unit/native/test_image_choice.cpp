// A station reads a listed image once a shift and writes from that read only
// while the listing still names the same bytes: a file replaced between
// units is read again, never taken from the cache.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/appstate.h"
#include "station/image_choice.h"
#include "station/session_view.h"
#include "tools/imagewriter/imagewriter.h"

namespace {

namespace fs = std::filesystem;

// The listing of `path` as discovery makes it: its tokens and digest.
FirmwareVersion Listed(const std::string &path)
{
    CheckedImage read;
    EXPECT_TRUE(LoadCheckedImage(path, read));
    return read.fw;
}

TEST(ImageChoice, AListedImageComesFromTheCacheOnlyWhileTheListingNamesTheSameBytes)
{
    QuietSessionView view;
    SetSessionView(&view);
    SetTraceHandler([](const char *) {});
    const fs::path dir = fs::temp_directory_path() / ("zf-image-choice-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "fw.bin").string();
    const std::string info = "VN:2.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\n";
    ASSERT_TRUE(WriteImageFile(path, info, 0, SplitIntoBlocks(std::string(600, 'A'), 256)));

    ImageCache cache;
    SessionOptions options;
    CheckedImage none, first, second, third;
    DeviceResult result;
    g_customLoaded = false;
    g_fwList = {Listed(path)};
    ASSERT_EQ(ChooseImage(options, none, &cache, first, result), 0);

    // Same bytes: the cached read, not a new one.
    ASSERT_EQ(ChooseImage(options, none, &cache, second, result), 0);
    EXPECT_EQ(second.image, first.image);

    // Replaced between units (same name and version, other bytes) and
    // listed anew: the new bytes are read, the cache is not trusted.
    ASSERT_TRUE(WriteImageFile(path, info, 0, SplitIntoBlocks(std::string(600, 'B'), 256)));
    g_fwList = {Listed(path)};
    ASSERT_EQ(ChooseImage(options, none, &cache, third, result), 0);
    EXPECT_NE(third.image, first.image);
    EXPECT_EQ(third.fw.sha256, g_fwList[0].sha256);
    EXPECT_NE(third.fw.sha256, first.fw.sha256);
    ASSERT_FALSE(third.image->blocks.empty());
    EXPECT_EQ(third.image->blocks[0].data[0], 'B');

    g_fwList.clear();
    fs::remove_all(dir);
}

}  // namespace
