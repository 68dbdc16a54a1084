// The image loader on Linux files that are not regular files: a FIFO (which
// must not block the loader), device nodes, and a link to a real image.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <memory>
#include <string>

#include "targetlib/capture.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

namespace {

class ImageSpecialFiles : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("zimg-special-" + std::to_string(getpid()) + "-" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        ASSERT_TRUE(fs::create_directory(dir));
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Loads `path` with ReadImage and ReadImageInfo; both must refuse it
    // with the open failure line.
    static void ExpectUnopenable(const std::string &path)
    {
        const std::string line = "  ERR:  Unable to open image file <" + path + ">\n";
        testing::internal::CaptureStdout();
        std::unique_ptr<IMG> img(ReadImage(path.c_str()));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), line);
        EXPECT_EQ(img, nullptr);
        EXPECT_EQ(LastError(), ErrImage);
        std::string info;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(ReadImageInfo(path.c_str(), info));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), line);
    }

    fs::path dir;
};

}  // namespace

TEST_F(ImageSpecialFiles, AFifoIsRefusedWithoutWaitingForAWriter)
{
    const std::string fifo = (dir / "pipe.bin").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::future<void> load = std::async(std::launch::async, [&] { ExpectUnopenable(fifo); });
    if (load.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        // A loader blocked in open(): a writer lets it go, so the test ends.
        int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        ADD_FAILURE() << "the loader waited for a writer on the FIFO";
        load.wait();
        if (fd >= 0)
            close(fd);
        return;
    }
    load.get();
}

TEST_F(ImageSpecialFiles, DeviceNodesAreRefused)
{
    ExpectUnopenable("/dev/null");
    ExpectUnopenable("/dev/zero");
}

TEST_F(ImageSpecialFiles, ALinkToAnImageLoadsAsTheImage)
{
    const std::string image = (dir / "real.bin").string(), link = (dir / "link.bin").string();
    ASSERT_TRUE(WriteImageFile(image, "VN:1.0\r\n", 0, SplitIntoBlocks("data", 4)));
    fs::create_symlink(image, link);
    testing::internal::CaptureStdout();
    std::unique_ptr<IMG> img(ReadImage(link.c_str()));
    testing::internal::GetCapturedStdout();
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->info, "VN:1.0\r\n");
}
