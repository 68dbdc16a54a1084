// The program worker refuses an image that holds nothing to write before it
// touches the device: no blank check, no erase, the installed firmware kept.
#include "tests/workflow/workflow_fixture.h"

namespace {

using ProgramNothingToWrite = WorkflowFixture;

const char kNothingToWrite[] =
    "ERROR: The firmware image holds no data to program. The device was not changed.";

// Writes an image with `blocks` into the firmware folder.
std::string WriteRawFirmware(const fs::path &dir, const std::string &name, const std::vector<BLK> &blocks)
{
    fs::create_directories(dir);
    std::string path = (dir / name).string();
    EXPECT_TRUE(WriteImageFile(path, kNewFirmwareInfo, 0x08010000, blocks));
    return path;
}

TEST_F(ProgramNothingToWrite, AnImageWithoutBlocksEndsBeforeAnyCommand)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    const std::string installed = sim->InstalledInfo();
    const std::string path = WriteRawFirmware(FirmwareDir(), "empty.bin", {});

    RunProgram(path);

    EXPECT_EQ(std::vector<std::string>{kNothingToWrite}, recorder.LogLines());
    EXPECT_EQ(0u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
    EXPECT_EQ(FailureKind::ImageInvalid, g_outcome.failure.kind);
    EXPECT_TRUE(sim->Stats().commands.empty());
    EXPECT_TRUE(recorder.Of(WM_APP_ERASE_BUSY).empty());
    EXPECT_EQ(installed, sim->InstalledInfo());
}

TEST_F(ProgramNothingToWrite, AnImageOfEmptyBlocksEndsBeforeAnyCommand)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    const std::string path = WriteRawFirmware(FirmwareDir(), "hollow.bin", {BLK{0, 0, ""}, BLK{1, 0, ""}});

    RunProgram(path);

    EXPECT_EQ(kNothingToWrite, LastLine());
    EXPECT_EQ(0u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
    EXPECT_TRUE(sim->Stats().commands.empty());
}

}  // namespace
