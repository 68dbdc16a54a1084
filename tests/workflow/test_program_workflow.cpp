// The program worker against the simulated device's flash loader.
#include "tests/workflow/workflow_fixture.h"

#include <algorithm>
#include <set>

#include "app/support.h"

namespace {

using ProgramWorkflow = WorkflowFixture;

constexpr int kBlankCheck = 93;
constexpr int kErase = 92;
constexpr int kProgramBlock = 190;

SimFault Fault(SimFault::Kind kind, int command, int skip = 0)
{
    SimFault f;
    f.kind = kind;
    f.command = command;
    f.skip = skip;
    f.count = -1;
    f.value = 5;
    return f;
}

// Position of the first message matching, or -1.
int IndexOf(const std::vector<PostedMessage> &all, unsigned msg, uintptr_t wParam, const std::string &text = "")
{
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].msg == msg && all[i].wParam == wParam && all[i].text == text)
            return static_cast<int>(i);
    return -1;
}

TEST_F(ProgramWorkflow, BlankRegionIsProgrammedWithoutErase)
{
    simOptions.installedInfo = "";
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());

    RunProgram(newImage);

    const std::vector<std::string> expected = {
        "Blank-checking firmware region...", "Programming...", "Verifying...", "Programming complete."};
    EXPECT_EQ(expected, recorder.LogLines());
    const std::vector<WorkStep> steps = {WorkStep::ReadImage, WorkStep::BlankCheck, WorkStep::Program,
                                         WorkStep::Verify, WorkStep::Done};
    EXPECT_EQ(steps, recorder.Steps());
    EXPECT_TRUE(g_outcome.ok);
    EXPECT_TRUE(recorder.Of(WM_APP_ERASE_BUSY).empty());
    EXPECT_EQ(1u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
    const std::vector<int> commands = sim->Stats().commands;
    EXPECT_EQ(0, std::count(commands.begin(), commands.end(), kErase));
}

TEST_F(ProgramWorkflow, UsedRegionIsErasedInsideTheBusyBracket)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());

    RunProgram(newImage);

    const std::vector<PostedMessage> all = recorder.Messages();
    const int erasing = IndexOf(all, WM_APP_LOG, 0, "Erasing firmware region...");
    const int busy = IndexOf(all, WM_APP_ERASE_BUSY, 1);
    const int idle = IndexOf(all, WM_APP_ERASE_BUSY, 0);
    const int programming = IndexOf(all, WM_APP_LOG, 0, "Programming...");
    ASSERT_GE(erasing, 0);
    EXPECT_LT(erasing, busy);
    EXPECT_LT(busy, idle);
    EXPECT_LT(idle, programming);
    EXPECT_EQ(2u, recorder.Of(WM_APP_ERASE_BUSY).size());
    EXPECT_EQ("Programming complete.", LastLine());
    EXPECT_EQ(1u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
}

TEST_F(ProgramWorkflow, FailedEraseStillEndsTheBusyBracket)
{
    simOptions.faults.push_back(Fault(SimFault::ErrorCode, kErase));
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());

    RunProgram(newImage);

    const std::vector<PostedMessage> busy = recorder.Of(WM_APP_ERASE_BUSY);
    ASSERT_EQ(2u, busy.size());
    EXPECT_EQ(1u, busy[0].wParam);
    EXPECT_EQ(0u, busy[1].wParam);
    EXPECT_EQ("ERROR: Erase failed.", LastLine());
    EXPECT_EQ(0u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
    EXPECT_EQ(FailureKind::DeviceRefused, g_outcome.failure.kind);
    EXPECT_EQ(WorkStep::Erase, g_outcome.failure.step);
    EXPECT_EQ("Erase failed.", g_outcome.failure.message);
    EXPECT_TRUE(HostPortOpen());
}

TEST_F(ProgramWorkflow, ProgrammingFailureIsNeverFollowedByVerification)
{
    simOptions.installedInfo = "";
    simOptions.faults.push_back(Fault(SimFault::ErrorCode, kProgramBlock, 2));
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());

    RunProgram(newImage);

    const std::vector<std::string> lines = recorder.LogLines();
    EXPECT_EQ("ERROR: Programming failed.", lines.back());
    EXPECT_EQ(lines.end(), std::find(lines.begin(), lines.end(), "Verifying..."));
    EXPECT_EQ(0u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
    EXPECT_EQ(FailureKind::DeviceRefused, g_outcome.failure.kind);
    EXPECT_EQ(WorkStep::Program, g_outcome.failure.step);
    EXPECT_EQ(2, g_outcome.failure.block);
}

TEST_F(ProgramWorkflow, VerificationFailureNamesTheSupportAddress)
{
    simOptions.verifyMismatchBlock = 1;
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());

    RunProgram(newImage);

    EXPECT_EQ(std::string("ERROR: Verification failed after programming. Contact ") + kSupportEmail +
                  " with a copy of this log.",
              LastLine());
    EXPECT_EQ(0u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
    EXPECT_TRUE(HostPortOpen());
    EXPECT_EQ(FailureKind::VerifyMismatch, g_outcome.failure.kind);
    EXPECT_EQ(1, g_outcome.failure.block);
    EXPECT_EQ(4, g_outcome.failure.deviceError);
}

TEST_F(ProgramWorkflow, RemovedImageFileEndsBeforeAnythingIsSent)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    fs::remove(newImage);

    RunProgram(newImage);

    const std::vector<std::string> expected = {"ERROR: Could not re-read firmware image."};
    EXPECT_EQ(expected, recorder.LogLines());
    EXPECT_TRUE(sim->Stats().commands.empty());
    EXPECT_EQ(0u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
    EXPECT_EQ(FailureKind::ImageInvalid, g_outcome.failure.kind);
    EXPECT_EQ(newImage, g_outcome.failure.file);
    EXPECT_EQ("Unable to open image file <" + newImage + ">", g_outcome.failure.detail);
}

TEST_F(ProgramWorkflow, DamagedImageFileEndsBeforeAnythingIsSent)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    {
        std::fstream file(newImage, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(40);
        file.put('\x00');
    }

    RunProgram(newImage);

    EXPECT_EQ("ERROR: Could not re-read firmware image.", LastLine());
    const std::vector<int> commands = sim->Stats().commands;
    EXPECT_EQ(0, std::count(commands.begin(), commands.end(), kBlankCheck));
    EXPECT_EQ(0, std::count(commands.begin(), commands.end(), kErase));
    EXPECT_EQ(0u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
}

TEST_F(ProgramWorkflow, ProgressIsPostedOncePerWholePercentAndPhase)
{
    simOptions.installedInfo = "";
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    const std::string image = WriteFirmware("many_blocks.bin", kNewFirmwareInfo, size_t{110} * 16, 16);

    RunProgram(image);

    ASSERT_EQ(1u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
    const std::vector<PostedMessage> progress = recorder.Of(WM_APP_PROGRESS);
    std::set<std::pair<uintptr_t, intptr_t>> distinct;
    for (const PostedMessage &m : progress)
        distinct.insert({m.wParam, m.lParam});
    EXPECT_EQ(progress.size(), distinct.size());
    // With more than 100 blocks every whole percentage from 0 to 100 is
    // reached once in each phase.
    EXPECT_EQ(101, std::count_if(progress.begin(), progress.end(),
                                 [](const PostedMessage &m) { return m.lParam == PhaseProgram; }));
    EXPECT_EQ(101, std::count_if(progress.begin(), progress.end(),
                                 [](const PostedMessage &m) { return m.lParam == PhaseVerify; }));
}

TEST_F(ProgramWorkflow, QueryAfterProgrammingShowsTheNewVersion)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    RunProgram(newImage);
    ASSERT_EQ(1u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
    recorder.Clear();

    RunQuery();

    EXPECT_EQ("v1.10.0   VKT-3 (VKT3K)   built 2026-03-01 12:00", CompletionOf(WM_APP_QUERY_DONE).text);
    EXPECT_EQ("1.10.0", g_outcome.installed.version);
    EXPECT_EQ("VKT-3", g_outcome.installed.model);
    EXPECT_EQ("VKT3K", g_outcome.installed.hw);
    EXPECT_EQ("2026-03-01 12:00", g_outcome.installed.built);
}

}  // namespace

namespace {

using ProgramCheckedImage = WorkflowFixture;

constexpr const char *kQ1Info = "VN:2.0.0\r\nMD:VKT-Q1\r\nHW:VKTQ1\r\nTS:2026-05-01 08:00\r\n";

// The bytes a worker writes are the bytes the front end judged: a file
// replaced after the check is refused before anything reaches the device,
// whatever it now holds; an image the front end read itself is written from
// that read, whatever happened to the file since.
TEST_F(ProgramCheckedImage, WritesOnlyTheBytesThatWereChecked)
{
    const struct {
        const char *name;
        const char *replacement;  // information text of the file's new content; null: removed
        bool preloaded;           // the front end passes the blocks it read
        bool programs;
    } cases[] = {
        {"same version rebuilt", "VN:1.10.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-03-02 09:00\r\n", false, false},
        {"image for other hardware", kQ1Info, false, false},
        {"other hardware, blocks already read", kQ1Info, true, true},
        {"removed, blocks already read", nullptr, true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(CaptureDevice());
        CheckedImage checked = Checked(newImage);
        if (c.preloaded) {
            ASSERT_TRUE(LoadCheckedImage(newImage, checked));
        }
        if (c.replacement)
            WriteFirmware(fs::path(newImage).filename().string(), c.replacement);
        else
            fs::remove(newImage);

        RunProgram(checked);

        EXPECT_EQ(c.programs ? 1u : 0u, CompletionOf(WM_APP_PROGRAM_DONE).wParam);
        if (c.programs) {
            EXPECT_EQ(kNewFirmwareInfo, sim->InstalledInfo());
        } else {
            EXPECT_EQ(std::vector<std::string>{kImageChangedLine}, recorder.LogLines());
            EXPECT_EQ(FailureKind::ImageChanged, g_outcome.failure.kind);
            EXPECT_TRUE(sim->Stats().commands.empty());
        }
        TearDown();
        SetUp();
    }
}

}  // namespace
