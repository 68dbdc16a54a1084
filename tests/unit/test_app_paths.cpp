// Where the flash loaders, firmware folders and release notes are looked up.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/workflows.h"

namespace {

class AppPaths : public ::testing::Test {
protected:
    void TearDown() override { SetAppRootDir(""); }
};

#ifdef _WIN32
TEST_F(AppPaths, FlashLoaderPathJoinsRootFolderAndFileWithBackslashes)
{
    SetAppRootDir("C:\\Tools\\Zelvo\\");

    EXPECT_EQ("C:\\Tools\\Zelvo\\flashloader\\VKT3/VKT3K\\vkt3_flash_v1_0_4.img",
              FlashLoaderPath("VKT3/VKT3K", "vkt3_flash_v1_0_4.img"));
}

TEST_F(AppPaths, FirmwareFolderHasNoTrailingSeparator)
{
    SetAppRootDir("C:\\Tools\\Zelvo\\");

    EXPECT_EQ("C:\\Tools\\Zelvo\\firmware\\VKTRT", FirmwareFolder("VKTRT"));
    EXPECT_EQ("C:\\Tools\\Zelvo\\firmware\\VKT3/VKT3\\release.txt", ReleaseNotesPath("VKT3/VKT3"));
}

TEST_F(AppPaths, RootWithoutTrailingSeparatorGetsOne)
{
    SetAppRootDir("D:\\Zelvo");

    EXPECT_EQ("D:\\Zelvo\\firmware\\VKTQ2", FirmwareFolder("VKTQ2"));
}
#else
TEST_F(AppPaths, FlashLoaderPathJoinsRootFolderAndFileWithSlashes)
{
    SetAppRootDir("/opt/zelvo/");

    EXPECT_EQ("/opt/zelvo/flashloader/VKT3/VKT3K/vkt3_flash_v1_0_4.img",
              FlashLoaderPath("VKT3/VKT3K", "vkt3_flash_v1_0_4.img"));
}

TEST_F(AppPaths, FirmwareFolderHasNoTrailingSeparator)
{
    SetAppRootDir("/opt/zelvo/");

    EXPECT_EQ("/opt/zelvo/firmware/VKTRT", FirmwareFolder("VKTRT"));
    EXPECT_EQ("/opt/zelvo/firmware/VKT3/VKT3/release.txt", ReleaseNotesPath("VKT3/VKT3"));
}

TEST_F(AppPaths, RootWithoutTrailingSeparatorGetsOne)
{
    SetAppRootDir("/opt/zelvo");

    EXPECT_EQ("/opt/zelvo/firmware/VKTQ2", FirmwareFolder("VKTQ2"));
}
#endif

TEST_F(AppPaths, RootEndingInForwardSlashIsKept)
{
    SetAppRootDir("zelvo/");

    EXPECT_EQ(std::string("zelvo/firmware") + kPathSep + "VKTN1", FirmwareFolder("VKTN1"));
}

TEST_F(AppPaths, WithoutAChosenRootTheExecutablesFolderIsUsed)
{
    SetAppRootDir("/somewhere/else");
    SetAppRootDir("");

    EXPECT_EQ(GetExeDir(), AppRootDir());
    EXPECT_EQ(GetExeDir() + "firmware" + kPathSep + "VKTPA", FirmwareFolder("VKTPA"));
}

TEST(ExeDir, NamesAnExistingFolderWithItsTrailingSeparator)
{
    const std::string dir = GetExeDir();

    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(dir.back() == '/' || dir.back() == '\\');
    EXPECT_TRUE(std::filesystem::is_directory(dir));
}

}  // namespace
