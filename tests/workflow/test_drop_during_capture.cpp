// A custom image dropped onto the window while the capture worker runs
// against the simulated device. The window thread judges the file, logs it and
// refreshes the controls while the worker opens the port, identifies the
// device and lists its firmware. Nothing orders the two threads here (the
// message sink takes no lock, the trace goes nowhere), so under
// ThreadSanitizer any read of state that the worker writes meanwhile is
// reported as a data race.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/uistate.h"
#include "app/workflows.h"
#include "tools/imagewriter/imagewriter.h"
#include "tools/zsim/simdevice.h"

namespace {

namespace fs = std::filesystem;

const char *const kLoaderInfo = "VN:1.0.4\r\nBR:921600\r\n";
const char *const kFirmwareInfo = "VN:1.10.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-03-01 12:00\r\n";
const char *const kHotfixInfo = "VN:2.0.1\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-10-01 08:00\r\n";

// Relaxed: the flag must not order the worker's writes before the window's reads.
std::atomic<bool> captureDone{false};
std::atomic<uintptr_t> captureResult{0};

void Sink(unsigned msg, uintptr_t wParam, intptr_t lParam)
{
    if ((msg == WM_APP_LOG || msg == WM_APP_QUERY_DONE) && lParam != 0)
        delete reinterpret_cast<std::string *>(lParam);
    if (msg == WM_APP_CAPTURE_DONE) {
        captureResult.store(wParam, std::memory_order_relaxed);
        captureDone.store(true, std::memory_order_relaxed);
    }
}

void NoTrace(const char *) {}

// What the window's SetUIState would enable at each refresh of the panel.
int refreshes = 0;
int refreshesNotBusy = 0;

void RecordRefresh()
{
    refreshes++;
    const UiEnables on = ComputeUiState(CurrentUiInputs());
    const bool onlyCancel = on.disconnect && std::string(on.disconnectCaption) == "Cancel" &&
                            !on.portCombo && !on.portRefresh && !on.capture && !on.query &&
                            !on.notes && !on.fwCombo && !on.browse && !on.clear && !on.program;
    if (!onlyCancel)
        refreshesNotBusy++;
}

std::vector<BLK> Blocks(const std::string &info)
{
    return SplitIntoBlocks(info + '\0' + std::string(2000, '\xA5'), 256);
}

class DropDuringCapture : public testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("zf_drop_" + std::to_string(getpid()));
        const fs::path loaderDir = root / "flashloader" / "VKT3" / "VKT3K";
        const fs::path firmwareDir = root / "firmware" / "VKT3" / "VKT3K";
        fs::create_directories(loaderDir);
        fs::create_directories(firmwareDir);
        ASSERT_TRUE(WriteImageFile((loaderDir / "vkt3_flash_v1_0_4.img").string(), kLoaderInfo,
                                   0x20000000, Blocks(kLoaderInfo)));
        ASSERT_TRUE(WriteImageFile((firmwareDir / "vkt3k_1_10_0.bin").string(), kFirmwareInfo,
                                   0x08010000, Blocks(kFirmwareInfo)));
        hotfix = (root / "hotfix.bin").string();
        ASSERT_TRUE(WriteImageFile(hotfix, kHotfixInfo, 0x08010000, Blocks(kHotfixInfo)));
        SetAppRootDir(root.string());
        SetMessageSink(Sink);
        SetTraceHandler(NoTrace);
        SetCustomUiRefresher(RecordRefresh);
    }

    void TearDown() override
    {
        ClosePort();
        g_portOpen = false;
        g_capturing = false;
        g_customFw = FirmwareVersion{};
        g_customLoaded = false;
        ClearDeviceState();
        SetCustomUiRefresher(nullptr);
        SetTraceHandler(nullptr);
        SetMessageSink(nullptr);
        SetAppRootDir("");
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    fs::path root;
    std::string hotfix;
};

TEST_F(DropDuringCapture, TheWindowReadsOnlyTheBusyFlagsAndJudgesTheImageAgainAfterwards)
{
    SimDevice sim;
    ASSERT_TRUE(sim.Start());

    // As the window's Capture command leaves the state for the worker.
    ClearDeviceState();
    g_capturing = true;
    captureDone = false;
    std::thread worker(CaptureThreadProc, new std::string(sim.PortPath()));
    int drops = 0;
    while (!captureDone.load(std::memory_order_relaxed)) {
        LoadCustomFirmware(hotfix);
        drops++;
    }
    worker.join();

    EXPECT_GT(drops, 0);
    EXPECT_EQ(drops, refreshes);
    EXPECT_EQ(0, refreshesNotBusy) << "a refresh during the capture enabled more than Cancel";
    EXPECT_TRUE(g_customLoaded);
    EXPECT_EQ("hotfix.bin", g_customFw.fileName);

    // The capture's completion, as the window handles it.
    ASSERT_EQ(1u, captureResult.load());
    g_capturing = false;
    ValidateCustom();
    EXPECT_TRUE(g_customValid);
    EXPECT_EQ(1u, g_fwList.size());
    const UiEnables on = ComputeUiState(CurrentUiInputs());
    EXPECT_TRUE(on.program);
    EXPECT_TRUE(on.clear);
    EXPECT_FALSE(on.fwCombo);
}

}  // namespace
