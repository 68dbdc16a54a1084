// The capture worker against the simulated device: every end it can reach,
// with its log lines, the port it leaves and the state it publishes.
#include "tests/workflow/workflow_fixture.h"

#include "app/support.h"

namespace {

using CaptureWorkflow = WorkflowFixture;
using std::chrono::milliseconds;

// The outcome the worker left for the front end: its failure's kind and step.
void ExpectFailure(FailureKind kind, WorkStep step)
{
    EXPECT_FALSE(g_outcome.ok);
    EXPECT_EQ(FailureKindName(kind), std::string(FailureKindName(g_outcome.failure.kind)));
    EXPECT_EQ(StepName(step), std::string(StepName(g_outcome.failure.step)));
}

// The failure ends all leave the port closed and report wParam 0 last.
void ExpectClosedFailure(const PostedMessage &done)
{
    EXPECT_EQ(0u, done.wParam);
    EXPECT_EQ(0, done.lParam);
    EXPECT_FALSE(g_portOpen);
    EXPECT_FALSE(HostPortOpen());
    EXPECT_TRUE(g_fwList.empty());
}

TEST_F(CaptureWorkflow, SuccessLogsEachStepAndLeavesTheLoaderRunningAtItsBaud)
{
    WriteLoader();
    WriteFirmware("vkt3k_1_2_0.bin", kOldFirmwareInfo);
    WriteFirmware("vkt3k_1_10_0.bin", kNewFirmwareInfo);
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    const std::vector<std::string> expected = {
        "Opening " + sim->PortPath() + "...",
        "Waiting for target. Power up the device now...",
        "Target captured. Identifying hardware...",
        "Detected: VKT-3 (VKT3K)",
        "Starting flashloader (921600 baud)...",
        "Found 2 firmware version(s).",
    };
    EXPECT_EQ(expected, recorder.LogLines());
    const std::vector<WorkStep> steps = {WorkStep::OpenPort, WorkStep::WaitDevice, WorkStep::Identify,
                                         WorkStep::StartLoader, WorkStep::ListFirmware, WorkStep::Done};
    EXPECT_EQ(steps, recorder.Steps());
    EXPECT_EQ(1u, CompletionOf(WM_APP_CAPTURE_DONE).wParam);
    EXPECT_TRUE(g_outcome.ok);
    EXPECT_EQ(FailureKind::None, g_outcome.failure.kind);
    EXPECT_EQ(921600u, g_outcome.loaderBaud);
    EXPECT_TRUE(g_portOpen);
    EXPECT_TRUE(HostPortOpen());
    EXPECT_EQ(921600u, Port.BaudRate());
    EXPECT_TRUE(Eventually([&] { return sim->LoaderRunning(); }));
    ASSERT_NE(nullptr, g_prod.load());
    ASSERT_NE(nullptr, g_hw.load());
    EXPECT_EQ("VKT-3", g_prod.load()->name);
    EXPECT_EQ("VKT3K", g_hw.load()->hw);
    ASSERT_EQ(2u, g_fwList.size());
    EXPECT_EQ("1.10.0", g_fwList[0].version);
    EXPECT_EQ("1.2.0", g_fwList[1].version);
}

TEST_F(CaptureWorkflow, LoaderDownloadReportsProgressInItsPhaseUpToAllBlocks)
{
    WriteLoader();
    WriteFirmware("vkt3k_1_2_0.bin", kOldFirmwareInfo);
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    const std::vector<PostedMessage> progress = recorder.Of(WM_APP_PROGRESS);
    ASSERT_FALSE(progress.empty());
    for (const PostedMessage &m : progress)
        EXPECT_EQ(PhaseRAMExec, m.lParam);
    EXPECT_EQ(100u, progress.back().wParam);
    EXPECT_EQ("Found 1 firmware version(s).", LastLine());
}

TEST_F(CaptureWorkflow, LoaderWithoutBaudTokenStartsAt115200)
{
    WriteLoader("VN:1.0.4\r\n");
    WriteFirmware("vkt3k_1_2_0.bin", kOldFirmwareInfo);
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    const std::vector<std::string> lines = recorder.LogLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ("Starting flashloader (115200 baud)...", lines[4]);
    EXPECT_EQ(115200u, Port.BaudRate());
}

TEST_F(CaptureWorkflow, PortThatCannotBeOpenedEndsWithItsName)
{
    RunCapture("/nonexistent/ttyZelvo");

    const std::vector<std::string> expected = {
        "Opening /nonexistent/ttyZelvo...",
        "ERROR: Could not open /nonexistent/ttyZelvo. Is another program using it?",
    };
    EXPECT_EQ(expected, recorder.LogLines());
    ExpectClosedFailure(CompletionOf(WM_APP_CAPTURE_DONE));
    ExpectFailure(FailureKind::PortOpenFailed, WorkStep::OpenPort);
    EXPECT_EQ("/nonexistent/ttyZelvo", g_outcome.failure.file);
    EXPECT_EQ("Could not open /nonexistent/ttyZelvo. Is another program using it?", g_outcome.failure.message);
    EXPECT_EQ(nullptr, g_prod.load());
    EXPECT_EQ(nullptr, g_hw.load());
}

// The capture has no time limit of its own: a cancel is what ends it, within
// a few of its steps (a bound far above them, not a speed measurement).
TEST_F(CaptureWorkflow, CancelWhileWaitingEndsPromptlyAndClosesThePort)
{
    simOptions.announce = false;
    ASSERT_TRUE(StartSim());
    std::thread worker(CaptureThreadProc, new std::string(sim->PortPath()));
    ASSERT_TRUE(recorder.WaitForLine("Waiting for target. Power up the device now...", kWorkerTimeout));

    g_abortCapture = true;
    const bool done = recorder.WaitFor(WM_APP_CAPTURE_DONE, std::chrono::seconds(10));
    worker.join();

    ASSERT_TRUE(done);
    EXPECT_EQ("Capture cancelled.", LastLine());
    ExpectClosedFailure(CompletionOf(WM_APP_CAPTURE_DONE));
    ExpectFailure(FailureKind::Cancelled, WorkStep::WaitDevice);
    EXPECT_EQ(nullptr, g_hw.load());
}

// The state machine fails only when the port is no longer open, so the port
// is closed under the waiting worker: a deliberate unsynchronised access,
// which the thread sanitizer would rightly report.
TEST_F(CaptureWorkflow, PortClosedUnderTheWaitEndsAsCaptureFailed)
{
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "closes the port under a running worker";
#endif
    simOptions.announce = false;
    ASSERT_TRUE(StartSim());
    std::thread worker(CaptureThreadProc, new std::string(sim->PortPath()));
    ASSERT_TRUE(recorder.WaitForLine("Waiting for target. Power up the device now...", kWorkerTimeout));
    std::this_thread::sleep_for(milliseconds(50));

    Port.Close();
    const bool done = recorder.WaitFor(WM_APP_CAPTURE_DONE, kWorkerTimeout);
    worker.join();

    ASSERT_TRUE(done);
    EXPECT_EQ("ERROR: Capture failed.", LastLine());
    ExpectClosedFailure(CompletionOf(WM_APP_CAPTURE_DONE));
    ExpectFailure(FailureKind::NoAnswer, WorkStep::WaitDevice);
}

TEST_F(CaptureWorkflow, DeviceWithoutHardwareIdentifierIsRefused)
{
    simOptions.hw = "";
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    EXPECT_EQ("ERROR: Device did not report a HW identifier. It may be running unsupported or corrupt "
              "bootloader firmware.",
              LastLine());
    ExpectClosedFailure(CompletionOf(WM_APP_CAPTURE_DONE));
    ExpectFailure(FailureKind::DeviceRefused, WorkStep::Identify);
    EXPECT_EQ(10, g_outcome.failure.deviceError);
    EXPECT_EQ(nullptr, g_prod.load());
    EXPECT_EQ(nullptr, g_hw.load());
}

TEST_F(CaptureWorkflow, UnknownIdentifierIsQuotedExactlyAsReceived)
{
    simOptions.hw = "vkt3k";
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    EXPECT_EQ("ERROR: Unrecognized HW identifier 'vkt3k'. This device is not supported by this "
              "version of the update tool.",
              LastLine());
    ExpectClosedFailure(CompletionOf(WM_APP_CAPTURE_DONE));
    ExpectFailure(FailureKind::UnknownDevice, WorkStep::Identify);
    EXPECT_EQ("vkt3k", g_outcome.failure.detail);
    EXPECT_EQ(nullptr, g_prod.load());
    EXPECT_EQ(nullptr, g_hw.load());
}

TEST_F(CaptureWorkflow, MissingFlashLoaderNamesTheFullPathTried)
{
    WriteFirmware("vkt3k_1_2_0.bin", kOldFirmwareInfo);
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    EXPECT_EQ("ERROR: Flashloader image missing or corrupt: " + root.string() +
                  "/flashloader/VKT3/VKT3K/vkt3_flash_v1_0_4.img",
              LastLine());
    ExpectClosedFailure(CompletionOf(WM_APP_CAPTURE_DONE));
    ExpectFailure(FailureKind::LoaderMissing, WorkStep::StartLoader);
    EXPECT_EQ(LoaderPath(), g_outcome.failure.file);
    EXPECT_EQ("Unable to open image file <" + LoaderPath() + ">", g_outcome.failure.detail);
    ASSERT_NE(nullptr, g_hw.load());
    EXPECT_EQ("VKT3K", g_hw.load()->hw);
}

TEST_F(CaptureWorkflow, LoaderThatDoesNotStartClosesThePort)
{
    WriteLoader();
    WriteFirmware("vkt3k_1_2_0.bin", kOldFirmwareInfo);
    SimFault noStart;
    noStart.kind = SimFault::DropReply;
    noStart.command = 1;
    noStart.count = -1;
    simOptions.faults.push_back(noStart);
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    EXPECT_EQ("ERROR: Could not start the flashloader on the device.", LastLine());
    ExpectClosedFailure(CompletionOf(WM_APP_CAPTURE_DONE));
    ExpectFailure(FailureKind::NoAnswer, WorkStep::StartLoader);
    EXPECT_NE(nullptr, g_prod.load());
}

TEST_F(CaptureWorkflow, NoFirmwareForTheHardwareNamesItAndTheSupportAddress)
{
    WriteLoader();
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    const std::vector<std::string> lines = recorder.LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("ERROR: This download does not include firmware for VKT-3 (VKT3K).", lines[lines.size() - 2]);
    EXPECT_EQ(std::string("    Contact ") + kSupportEmail + " for the correct update package.", lines.back());
    ExpectClosedFailure(CompletionOf(WM_APP_CAPTURE_DONE));
    ExpectFailure(FailureKind::NoFirmware, WorkStep::ListFirmware);
    EXPECT_EQ(FirmwareDir().string(), g_outcome.failure.file);
    EXPECT_NE(nullptr, g_prod.load());
    EXPECT_NE(nullptr, g_hw.load());
}

// An entry whose type cannot be read (a link that points at itself) makes the
// folder scan fail after the folder was opened.
TEST_F(CaptureWorkflow, FirmwareFolderThatCannotBeScannedEndsAsFailure)
{
    WriteLoader();
    WriteFirmware("vkt3k_1_2_0.bin", kOldFirmwareInfo);
    fs::create_symlink("loop.bin", FirmwareDir() / "loop.bin");
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    const std::string prefix = "ERROR: Could not read the firmware folder " + FirmwareDir().string() + ": ";
    EXPECT_EQ(prefix, LastLine().substr(0, prefix.size()));
    EXPECT_GT(LastLine().size(), prefix.size());
    ExpectClosedFailure(CompletionOf(WM_APP_CAPTURE_DONE));
    ExpectFailure(FailureKind::NoFirmware, WorkStep::ListFirmware);
}

TEST_F(CaptureWorkflow, SecondCaptureClosesTheEarlierConnectionFirst)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    sim->PowerCycle();
    ClearDeviceState();

    RunCapture(sim->PortPath());

    EXPECT_EQ(1u, CompletionOf(WM_APP_CAPTURE_DONE).wParam);
    EXPECT_EQ("Found 2 firmware version(s).", LastLine());
    EXPECT_EQ(921600u, Port.BaudRate());
}

}  // namespace
