// zflash without a device: inspect, list, notes, usage.
#include <fstream>

#include "tests/zflash/test_zflash_support.h"
#include "zf_version.h"

namespace {

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(ZflashDeviceTest, InspectDescribesAValidImage)
{
    ZflashRun run = Zflash({"inspect", (firmwareDir / "fw_1_2_0.bin").string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, (firmwareDir / "fw_1_2_0.bin").string() + ": valid\n"
                       "  VN: 1.2.0\n"
                       "  MD: VKT-3\n"
                       "  HW: VKT3K  (VKT-3)\n"
                       "  TS: 2025-11-20 09:30\n"
                       "  BR: (none)\n"
                       "  start address: 0x08010000\n"
                       "  blocks:        12 (236 to 256 bytes)\n"
                       "  total:         3052 bytes\n");
}

TEST_F(ZflashDeviceTest, InspectGivesTheLibrarysReasonForABrokenImageAsBadInput)
{
    std::string path = (root / "broken.bin").string();
    std::string bytes;
    {
        std::ifstream in(firmwareDir / "fw_1_2_0.bin", std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    bytes[40] ^= 0x01;
    std::ofstream(path, std::ios::binary) << bytes;
    ZflashRun run = Zflash({"inspect", path, (firmwareDir / "fw_1_2_0.bin").string()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.out, path + ": invalid: The Zelvo Image File appears to be corrupt.\n"));
    EXPECT_TRUE(Contains(run.out, "fw_1_2_0.bin: valid\n"));
}

TEST_F(ZflashDeviceTest, InspectOfAMissingFileIsBadInput)
{
    std::string path = (root / "nothing.bin").string();
    ZflashRun run = Zflash({"inspect", path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, path + ": invalid: no such file.\n");
}

TEST_F(ZflashDeviceTest, ListShowsWhatTheCatalogueOffersForAnIdentifier)
{
    ZflashRun run = Zflash({"list", "--hw", "VKT3K"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Product:      VKT-3 (VKT3K)\n"
                       "Folder:       VKT3/VKT3K\n"
                       "Flash loader: " + root.string() + "/flashloader/VKT3/VKT3K/vkt3_flash_v1_0_4.img"
                       "  (921600 baud)\n"
                       "Images in:    " + root.string() + "/firmware/VKT3/VKT3K\n"
                       "Firmware:     3 image(s), newest first\n"
                       "  fw_1_10_0.bin  (v1.10.0)\n"
                       "  fw_1_2_0.bin  (v1.2.0)\n"
                       "  legacy_0_9.bin  (v0.9)  [unverified]\n");
}

TEST_F(ZflashDeviceTest, ListOfAnUnknownIdentifierNamesTheKnownOnes)
{
    ZflashRun run = Zflash({"list", "--hw", "vkt3k"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "zflash: unknown hardware identifier 'vkt3k' (known: VKTPA, VKT3, VKT3K, VKT3W, "
                       "VKTRTW, VKTQ1, VKTQ2, VKTN1).\n");
}

TEST_F(ZflashDeviceTest, NotesPrintsTheReleaseNotesWithTheConsolesLineEnds)
{
    std::ofstream(firmwareDir / "release.txt", std::ios::binary) << "v1.10.0\r\n  faster erase\r\n";
    ZflashRun run = Zflash({"notes", "--hw", "VKT3K"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "v1.10.0\n  faster erase\n");
}

TEST_F(ZflashDeviceTest, NotesWithoutAFileIsBadInput)
{
    ZflashRun run = Zflash({"notes", "--hw", "VKT3W"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "zflash: No release notes are included for this product."));
}

TEST(Zflash, HelpDocumentsTheExitCodes)
{
    ZflashRun run = RunZflash({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, "Exit codes:\n  0  success\n"));
    EXPECT_TRUE(Contains(run.out, "  4  image without hardware identifier refused (use --yes)"));
}

// Before the command --version is zflash's own; after "program" it chooses an
// image (tested with the device).
TEST(Zflash, VersionBeforeTheCommandPrintsTheProjectVersion)
{
    ZflashRun run = RunZflash({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "zflash " ZF_VERSION "\n");
    EXPECT_EQ(run.err, "");
}

TEST(Zflash, ProgramVersionWithoutAValueIsAUsageError)
{
    ZflashRun run = RunZflash({"program", "--port", "x", "--version"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
}

TEST(Zflash, AMissingCommandOrOptionIsAUsageError)
{
    EXPECT_EQ(RunZflash({}).exitCode, 2);
    EXPECT_EQ(RunZflash({"capture"}).exitCode, 2);
    EXPECT_EQ(RunZflash({"program", "--port", "x", "--image", "a", "--version", "1"}).exitCode, 2);
}
