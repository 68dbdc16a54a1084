// Which folder zflash takes its images from: --root, ZFLASH_ROOT, the folder
// beside the executable, the installed data folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "tools/zflash/rootdir.h"

namespace {

namespace fs = std::filesystem;

// A file system in which only the folders in `withFlashLoader` hold flashloader/;
// it records every folder it was asked about.
struct FakeFolders {
    std::set<std::string> withFlashLoader;
    std::vector<std::string> asked;
    std::function<bool(const std::string &)> Predicate()
    {
        return [this](const std::string &dir) {
            asked.push_back(dir);
            return withFlashLoader.count(dir) > 0;
        };
    }
};

const std::string kExe = "/opt/build/bin/";
const std::string kData = "/usr/share/zflash";

TEST(ChooseRootDir, RootOptionWinsOverEnvironmentAndBothFolders)
{
    FakeFolders fs{{kExe, kData}, {}};
    EXPECT_EQ(ChooseRootDir({"/mnt/images", "/srv/env-images", kExe, kData}, fs.Predicate()), "/mnt/images");
    EXPECT_TRUE(fs.asked.empty());
}

TEST(ChooseRootDir, EnvironmentWinsOverTheFolderBesideTheExecutable)
{
    FakeFolders fs{{kExe}, {}};
    EXPECT_EQ(ChooseRootDir({"", "/srv/env-images", kExe, kData}, fs.Predicate()), "/srv/env-images");
    EXPECT_TRUE(fs.asked.empty());
}

TEST(ChooseRootDir, FolderBesideTheExecutableWhenItHoldsFlashLoader)
{
    FakeFolders fs{{kExe, kData}, {}};
    EXPECT_EQ(ChooseRootDir({"", "", kExe, kData}, fs.Predicate()), kExe);
    EXPECT_EQ(fs.asked, std::vector<std::string>{kExe});
}

TEST(ChooseRootDir, InstalledDataFolderWhenNothingLiesBesideTheExecutable)
{
    FakeFolders fs{{kData}, {}};
    EXPECT_EQ(ChooseRootDir({"", "", "/usr/bin/", kData}, fs.Predicate()), kData);
}

TEST(ChooseRootDir, InstalledDataFolderEvenWhenItIsMissingSoErrorsNameIt)
{
    FakeFolders fs{{}, {}};
    EXPECT_EQ(ChooseRootDir({"", "", "/usr/bin/", kData}, fs.Predicate()), kData);
}

TEST(ChooseRootDir, BuildWithoutDataFolderKeepsTheExecutablesFolder)
{
    FakeFolders fs{{}, {}};
    EXPECT_EQ(ChooseRootDir({"", "", "C:\\Tools\\", ""}, fs.Predicate()), "C:\\Tools\\");
}

TEST(ChooseRootDir, UnknownExecutableFolderIsNotProbedAsTheWorkingFolder)
{
    FakeFolders fs{{""}, {}};
    EXPECT_EQ(ChooseRootDir({"", "", "", kData}, fs.Predicate()), kData);
    EXPECT_TRUE(fs.asked.empty());
}

class FlashLoaderFolder : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("zf-rootdir-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(FlashLoaderFolder, FoundWithOrWithoutTrailingSeparator)
{
    fs::create_directory(dir / "flashloader");
    EXPECT_TRUE(HasFlashLoaderFolder(dir.string()));
    EXPECT_TRUE(HasFlashLoaderFolder(dir.string() + "/"));
}

TEST_F(FlashLoaderFolder, OnlyFirmwareIsNotEnough)
{
    fs::create_directory(dir / "firmware");
    EXPECT_FALSE(HasFlashLoaderFolder(dir.string()));
}

TEST_F(FlashLoaderFolder, AFileNamedFlashLoaderIsNotAFolder)
{
    std::ofstream(dir / "flashloader") << "x";
    EXPECT_FALSE(HasFlashLoaderFolder(dir.string()));
}

TEST_F(FlashLoaderFolder, MissingFolderIsNotAnError)
{
    EXPECT_FALSE(HasFlashLoaderFolder((dir / "absent").string()));
}

}  // namespace
