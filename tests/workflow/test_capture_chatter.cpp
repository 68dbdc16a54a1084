// Capture on a line that never stops talking (a board printing its boot log
// on the port): the wait for the device still ends when the operator cancels,
// and a device that announces in the middle of the chatter is still captured.
#include "tests/workflow/workflow_fixture.h"

namespace {

using CaptureOnAChatteringLine = WorkflowFixture;

// Waits until `done` holds; false when it did not within kWorkerTimeout.
template <class Condition>
bool WaitUntil(Condition done)
{
    const auto end = std::chrono::steady_clock::now() + kWorkerTimeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST_F(CaptureOnAChatteringLine, CancelEndsTheWaitThoughBytesNeverStop)
{
    simOptions.announce = false;
    simOptions.chatter = true;
    ASSERT_TRUE(StartSim());
    std::thread worker(CaptureThreadProc, new std::string(sim->PortPath()));
    ASSERT_TRUE(recorder.WaitForLine("Waiting for target. Power up the device now...", kWorkerTimeout));
    // The host is reading the chatter: several times what its port buffers.
    const bool chattering = WaitUntil([&] { return sim->Stats().bytesOut > 16384; });

    g_abortCapture = true;
    const bool done = recorder.WaitFor(WM_APP_CAPTURE_DONE, kWorkerTimeout);
    if (!done)
        sim->Stop();  // a silent line ends any read, so the worker can be joined
    worker.join();

    EXPECT_TRUE(chattering);
    ASSERT_TRUE(done) << "the capture did not see the cancel while bytes kept arriving";
    EXPECT_EQ("Capture cancelled.", LastLine());
    EXPECT_EQ(0u, CompletionOf(WM_APP_CAPTURE_DONE).wParam);
    EXPECT_FALSE(g_portOpen);
    EXPECT_FALSE(HostPortOpen());
}

TEST_F(CaptureOnAChatteringLine, AnAnnouncementAmidTheChatterIsCaptured)
{
    simOptions.chatter = true;
    WriteLoader();
    WriteFirmware("vkt3k_1_2_0.bin", kOldFirmwareInfo);
    ASSERT_TRUE(StartSim());

    RunCapture(sim->PortPath());

    EXPECT_EQ(1u, CompletionOf(WM_APP_CAPTURE_DONE).wParam);
    EXPECT_EQ("Found 1 firmware version(s).", LastLine());
    EXPECT_TRUE(sim->LoaderRunning());
}

}  // namespace
