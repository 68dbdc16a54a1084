#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "catalogue/firmware.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const std::string kSep = "\\";
#else
const std::string kSep = "/";
#endif

std::string Info(const std::string &version, const std::string &model = "VKT-3",
                 const std::string &hw = "VKT3K")
{
    std::string info;
    if (!version.empty())
        info += "VN:" + version + "\r\n";
    info += "MD:" + model + "\r\nHW:" + hw + "\r\n";
    return info;
}

// A fresh folder under the system's temporary folder, removed afterwards.
// Paths are handed to the code under test as UTF-8 text.
class FirmwareDiscovery : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        root_ = fs::temp_directory_path() / ("zf_discovery_" + std::to_string(rd()));
        fs::create_directories(root_);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // `rel` uses "/" between components.
    fs::path At(const std::string &rel) const { return rel.empty() ? root_ : root_ / fs::u8path(rel); }
    std::string Text(const std::string &rel) const { return At(rel).u8string(); }

    void MakeFolder(const std::string &rel) { fs::create_directories(At(rel)); }
    void WriteBytes(const std::string &rel, const std::string &bytes)
    {
        std::ofstream out(At(rel), std::ios::binary);
        out << bytes;
        ASSERT_TRUE(out.good()) << rel;
    }
    void WriteImage(const std::string &rel, const std::string &info)
    {
        WriteBytes(rel, BuildImage(info, 0x20000000, SplitIntoBlocks("firmware body", 5)));
    }

    // Discovers `rel` with stdout captured (the image loader traces).
    std::vector<FirmwareVersion> Discover(const std::string &folderText)
    {
        testing::internal::CaptureStdout();
        std::vector<FirmwareVersion> list = DiscoverFirmware(folderText);
        trace_ = testing::internal::GetCapturedStdout();
        return list;
    }

    static std::vector<std::string> Names(const std::vector<FirmwareVersion> &list)
    {
        std::vector<std::string> names;
        for (const FirmwareVersion &fw : list)
            names.push_back(fw.fileName);
        return names;
    }

    fs::path root_;
    std::string trace_;
};

using NameList = std::vector<std::string>;

}  // namespace

TEST_F(FirmwareDiscovery, ListsImagesNewestVersionFirst)
{
    WriteImage("a.bin", Info("1.0.4"));
    WriteImage("b.bin", Info("1.0.10"));
    WriteImage("c.bin", Info("0.9"));
    std::vector<FirmwareVersion> list = Discover(Text(""));
    EXPECT_EQ(Names(list), (NameList{"b.bin", "a.bin", "c.bin"}));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].version, "1.0.10");
    EXPECT_EQ(list[0].path, Text("") + kSep + "b.bin");
}

TEST_F(FirmwareDiscovery, ImageWithoutVersionComesLast)
{
    WriteImage("aaa.bin", Info(""));
    WriteImage("zzz.bin", Info("0.0.1"));
    std::vector<FirmwareVersion> list = Discover(Text(""));
    EXPECT_EQ(Names(list), (NameList{"zzz.bin", "aaa.bin"}));
}

TEST_F(FirmwareDiscovery, ExtensionIsMatchedInAnyLetterCase)
{
    WriteImage("upper.BIN", Info("3"));
    WriteImage("mixed.Bin", Info("2"));
    WriteImage("lower.bin", Info("1"));
    EXPECT_EQ(Names(Discover(Text(""))), (NameList{"upper.BIN", "mixed.Bin", "lower.bin"}));
}

TEST_F(FirmwareDiscovery, IgnoresOtherNamesAndDoesNotEnterSubFolders)
{
    WriteImage("fw.bin", Info("1"));
    WriteImage("flashloader.img", Info("2"));
    WriteImage(".bin", Info("3"));
    WriteImage("x.bin.bak", Info("4"));
    WriteImage("bin", Info("5"));
    MakeFolder("folder.bin");
    WriteImage("folder.bin/inner.bin", Info("6"));
    EXPECT_EQ(Names(Discover(Text(""))), (NameList{"fw.bin"}));
}

TEST_F(FirmwareDiscovery, LeavesOutImagesThatDoNotLoad)
{
    WriteImage("good.bin", Info("1"));
    std::string broken = BuildImage(Info("2"), 0, {});
    broken[10] ^= 0x01;
    WriteBytes("broken.bin", broken);
    WriteBytes("notanimage.bin", "just text");
    std::vector<FirmwareVersion> list = Discover(Text(""));
    EXPECT_EQ(Names(list), (NameList{"good.bin"}));
    EXPECT_NE(trace_.find("  ERR:  The Zelvo Image File appears to be corrupt.\n"), std::string::npos);
    EXPECT_NE(trace_.find("  ERR:  This does not appear to be a Zelvo Image file.\n"), std::string::npos);
}

TEST_F(FirmwareDiscovery, EmptyOrMissingFolderOrAFileGivesNothing)
{
    MakeFolder("empty");
    WriteImage("file.bin", Info("1"));
    EXPECT_TRUE(Discover(Text("empty")).empty());
    EXPECT_TRUE(Discover(Text("missing")).empty());
    EXPECT_TRUE(Discover(Text("file.bin")).empty());
    EXPECT_TRUE(Discover("").empty());
    EXPECT_EQ(trace_, "");
}

TEST_F(FirmwareDiscovery, WorksInAFolderWithANonAsciiName)
{
    const std::string folder = "Pr\xC3\xBC" "fung-\xE3\x83\x95\xE3\x82\xA1\xE3\x83\xBC\xE3\x83\xA0";
    MakeFolder(folder);
    WriteImage(folder + "/v1.bin", Info("1.1"));
    WriteImage(folder + "/v2.bin", Info("1.2"));
    std::vector<FirmwareVersion> list = Discover(Text(folder));
    ASSERT_EQ(Names(list), (NameList{"v2.bin", "v1.bin"}));
    EXPECT_EQ(list[0].path, Text(folder) + kSep + "v2.bin");
}

TEST_F(FirmwareDiscovery, FindsImagesWithNonAsciiFileNames)
{
    const std::string name = "\xC3\xA9t\xC3\xA9.bin";
    WriteImage(name, Info("7"));
    std::vector<FirmwareVersion> list = Discover(Text(""));
    ASSERT_EQ(Names(list), (NameList{name}));
    EXPECT_EQ(list[0].version, "7");
}

TEST_F(FirmwareDiscovery, FolderTextWithAForwardSlashIsUsedUnchanged)
{
    MakeFolder("firmware/VKT3/VKT3K");
    WriteImage("firmware/VKT3/VKT3K/k.bin", Info("1.0.4"));
    const std::string folder = Text("firmware") + kSep + "VKT3/VKT3K";
    std::vector<FirmwareVersion> list = Discover(folder);
    ASSERT_EQ(Names(list), (NameList{"k.bin"}));
    EXPECT_EQ(list[0].path, folder + kSep + "k.bin");
}

#ifdef _WIN32
TEST_F(FirmwareDiscovery, FolderTextThatIsNotUtf8RaisesAFileSystemError)
{
    EXPECT_THROW(DiscoverFirmware(Text("") + "\\\xFF\xFE"), fs::filesystem_error);
}
#else
TEST_F(FirmwareDiscovery, SymbolicLinksCountAsWhatTheyPointTo)
{
    MakeFolder("fw");
    MakeFolder("elsewhere");
    WriteImage("elsewhere/real.bin", Info("2"));
    MakeFolder("elsewhere/dir.bin");
    fs::create_symlink(At("elsewhere/real.bin"), At("fw/link.bin"));
    fs::create_symlink(At("elsewhere/dir.bin"), At("fw/dirlink.bin"));
    fs::create_symlink(At("elsewhere/gone.bin"), At("fw/dangling.bin"));
    std::vector<FirmwareVersion> list = Discover(Text("fw"));
    ASSERT_EQ(Names(list), (NameList{"link.bin"}));
    EXPECT_EQ(list[0].path, Text("fw") + "/link.bin");
}
#endif

TEST_F(FirmwareDiscovery, ReadFirmwareInfoFillsEveryField)
{
    MakeFolder("d");
    WriteImage("d/image.bin", "TS:x\nVN: 2.0\nMD:VKT-Q1\nHW:VKTQ1\n");
    FirmwareVersion fw;
    fw.path = fw.fileName = fw.version = fw.model = fw.hw = "stale";
    const std::string path = Text("d") + "/image.bin";
    testing::internal::CaptureStdout();
    ASSERT_TRUE(ReadFirmwareInfo(path, fw));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(fw.path, path);
    EXPECT_EQ(fw.fileName, "image.bin");
    EXPECT_EQ(fw.version, " 2.0");
    EXPECT_EQ(fw.model, "VKT-Q1");
    EXPECT_EQ(fw.hw, "VKTQ1");
    EXPECT_TRUE(fw.hasHW);
}

TEST_F(FirmwareDiscovery, ReadFirmwareInfoClearsTokensTheImageLacks)
{
    WriteImage("bare.bin", "TS:2024\n");
    FirmwareVersion fw;
    fw.version = fw.model = fw.hw = "stale";
    fw.hasHW = true;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(ReadFirmwareInfo(Text("bare.bin"), fw));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(fw.version, "");
    EXPECT_EQ(fw.model, "");
    EXPECT_EQ(fw.hw, "");
    EXPECT_FALSE(fw.hasHW);
}

TEST_F(FirmwareDiscovery, EmptyHardwareTokenMeansNoHardwareIdentifier)
{
    WriteImage("nohw.bin", "VN:1.0\nMD:VKT-3\nHW:\n");
    FirmwareVersion fw;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(ReadFirmwareInfo(Text("nohw.bin"), fw));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(fw.model, "VKT-3");
    EXPECT_FALSE(fw.hasHW);
}

TEST_F(FirmwareDiscovery, ReadFirmwareInfoFailureLeavesTheRecordAlone)
{
    std::string broken = BuildImage(Info("9"), 0, {});
    broken[broken.size() - 1] ^= 0x40;
    WriteBytes("broken.bin", broken);
    FirmwareVersion fw;
    fw.path = "p";
    fw.fileName = "f";
    fw.version = "v";
    fw.model = "m";
    fw.hw = "h";
    fw.hasHW = true;
    for (const std::string &path : {Text("broken.bin"), Text("missing.bin")}) {
        testing::internal::CaptureStdout();
        EXPECT_FALSE(ReadFirmwareInfo(path, fw));
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(fw.path, "p");
        EXPECT_EQ(fw.fileName, "f");
        EXPECT_EQ(fw.version, "v");
        EXPECT_EQ(fw.model, "m");
        EXPECT_EQ(fw.hw, "h");
        EXPECT_TRUE(fw.hasHW);
    }
}
