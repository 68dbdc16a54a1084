// File names that are not ASCII: paths are UTF-8 text inside the program and
// reach the file system as the platform's own (wide on Windows) paths. Images,
// firmware folders and release notes must all be found under such names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "app/notestext.h"
#include "app/workflows.h"
#include "catalogue/firmware.h"
#include "catalogue/target.h"
#include "targetlib/capture.h"
#include "targetlib/utf8path.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

namespace {

// "Prüf" has a letter of the Windows code page, "Δ" one outside it and "😀"
// one outside the Basic Multilingual Plane (a surrogate pair in UTF-16).
const std::string kFolder = "Zelvo Prüf Δ";
const std::string kImage = "vkt3k_Prüf_Δ_😀.bin";

std::string Info(const std::string &version)
{
    return "VN:" + version + "\r\nMD:VKT-3\r\nHW:VKT3K\r\n";
}

std::string ImageBytes(const std::string &info)
{
    return BuildImage(info, 0x08010000, SplitIntoBlocks(info + '\0' + "firmware body", 16));
}

void Quiet(const char *) {}

// A fresh folder named kFolder under the system's temporary folder; files are
// written through the UTF-8 path helper and handed over as UTF-8 text.
class Utf8Paths : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        base_ = fs::temp_directory_path() / ("zf_names_" + std::to_string(rd()));
        root_ = Utf8FromPath(base_) + kPathSep + kFolder;
        fs::create_directories(PathFromUtf8(root_));
        SetTraceHandler(Quiet);
    }
    void TearDown() override
    {
        SetTraceHandler(nullptr);
        SetAppRootDir("");
        std::error_code ec;
        fs::remove_all(base_, ec);
    }

    // `rel` joins components with the platform's separator.
    std::string At(const std::string &rel) const { return root_ + kPathSep + rel; }

    void Write(const std::string &path, const std::string &bytes)
    {
        fs::create_directories(PathFromUtf8(path).parent_path());
        std::ofstream out(PathFromUtf8(path), std::ios::binary);
        out << bytes;
        ASSERT_TRUE(out.good()) << path;
    }

    fs::path base_;
    std::string root_;
};

TEST_F(Utf8Paths, TextBecomesAPathAndComesBackUnchanged)
{
    const std::string text = At(kImage);
    const fs::path path = PathFromUtf8(text);
    EXPECT_EQ(Utf8FromPath(path), text);
    EXPECT_EQ(Utf8FromPath(path.filename()), kImage);
    EXPECT_EQ(Utf8FromPath(path.parent_path().filename()), kFolder);
}

TEST_F(Utf8Paths, AFileIsOpenedByItsUtf8Name)
{
    Write(At(kImage), "contents");
    std::ifstream in;
    OpenForReading(in, At(kImage));
    ASSERT_TRUE(in.is_open());
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "contents");

    std::ifstream missing;
    OpenForReading(missing, At("Prüf_missing.bin"));
    EXPECT_FALSE(missing.is_open());
}

TEST_F(Utf8Paths, AnImageIsLoadedByItsUtf8Name)
{
    Write(At(kImage), ImageBytes(Info("2.0.1")));
    const std::unique_ptr<IMG> image(ReadImage(At(kImage).c_str()));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(GetInfoToken(image->info, "VN:"), "2.0.1");

    FirmwareVersion fw;
    ASSERT_TRUE(ReadFirmwareInfo(At(kImage), fw));
    EXPECT_EQ(fw.path, At(kImage));
    EXPECT_EQ(fw.fileName, kImage);
}

TEST_F(Utf8Paths, DiscoveryInAFolderNamedInUtf8ListsUtf8NamesThatOpen)
{
    const std::string folder = At(std::string("firmware") + kPathSep + "Ünïcode");
    Write(folder + kPathSep + kImage, ImageBytes(Info("3.0.0")));
    Write(folder + kPathSep + "plain.bin", ImageBytes(Info("1.0.0")));

    const std::vector<FirmwareVersion> found = DiscoverFirmware(folder);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].fileName, kImage);
    EXPECT_EQ(found[0].path, folder + kPathSep + kImage);
    EXPECT_EQ(found[0].version, "3.0.0");
    EXPECT_EQ(found[1].fileName, "plain.bin");
    // The listed path is the one the program workflow loads again.
    const std::unique_ptr<IMG> image(ReadImage(found[0].path.c_str()));
    EXPECT_NE(image, nullptr);
}

TEST_F(Utf8Paths, ReleaseNotesAreReadFromAProgramFolderNamedInUtf8)
{
    const Product *prod = nullptr;
    const HWOption *hw = nullptr;
    ASSERT_TRUE(FindByHW("VKT3K", prod, hw));
    const std::string notes = "Notes für VKT-3 – Δ\r\n";
    SetAppRootDir(root_);
    Write(ReleaseNotesPath(hw->folder), notes);

    std::string bytes;
    ASSERT_TRUE(ReadReleaseNotes(*hw, bytes));
    EXPECT_EQ(bytes, notes);
}

}  // namespace
