// Runs the workers on real threads against the simulated device: a temporary
// root folder with a flash loader and firmware images for "VKT3K", a
// recording message sink, and the application state as the window leaves it
// before it starts a capture.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/appstate.h"
#include "app/image_step.h"
#include "app/commands.h"
#include "app/outcome.h"
#include "app/workflows.h"
#include "targetlib/libstate.h"
#include "tests/support/eventually.h"
#include "tests/support/message_recorder.h"
#include "tools/imagewriter/imagewriter.h"
#include "tools/zsim/simdevice.h"

namespace fs = std::filesystem;

// The target library's port is open (not merely initialised).
inline bool HostPortOpen()
{
    return Port.State() == 2;
}

const char *const kLoaderInfo = "VN:1.0.4\r\nBR:921600\r\n";
const char *const kNewFirmwareInfo = "VN:1.10.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-03-01 12:00\r\n";
const char *const kOldFirmwareInfo = "VN:1.2.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2025-11-20 09:30\r\n";
constexpr auto kWorkerTimeout = std::chrono::seconds(60);

class WorkflowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int serial = 0;
        root = fs::temp_directory_path() /
               ("zf_workflow_" + std::to_string(getpid()) + "_" + std::to_string(++serial));
        fs::create_directories(root);
        SetAppRootDir(root.string());
        ClearDeviceState();
        ResetProgressThrottle();
        SetProgressCallback(ProgressCallback);
    }

    void TearDown() override
    {
        ClosePort();
        g_portOpen = false;
        sim.reset();
        ClearDeviceState();
        SetAppRootDir("");
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    bool StartSim()
    {
        sim.reset(new SimDevice(simOptions));
        return sim->Start();
    }

    // Image data that begins with its own information text, zero-terminated,
    // which is where the simulated device reads it from.
    static std::vector<BLK> ImageBlocks(const std::string &info, size_t payload, size_t blockSize)
    {
        std::string data = info + '\0' + std::string(payload, '\xA5');
        return SplitIntoBlocks(data, blockSize);
    }

    std::string LoaderPath() const
    {
        return (root / "flashloader" / "VKT3" / "VKT3K" / "vkt3_flash_v1_0_4.img").string();
    }

    fs::path FirmwareDir() const { return root / "firmware" / "VKT3" / "VKT3K"; }

    void WriteLoader(const std::string &info = kLoaderInfo)
    {
        fs::create_directories(fs::path(LoaderPath()).parent_path());
        ASSERT_TRUE(WriteImageFile(LoaderPath(), info, 0x20000000, ImageBlocks(info, 2000, 256)));
    }

    std::string WriteFirmware(const std::string &name, const std::string &info, size_t payload = 4000,
                              size_t blockSize = 256)
    {
        fs::create_directories(FirmwareDir());
        std::string path = (FirmwareDir() / name).string();
        EXPECT_TRUE(WriteImageFile(path, info, 0x08010000, ImageBlocks(info, payload, blockSize)));
        return path;
    }

    // Starts `proc` on its own thread and waits for its completion message.
    void RunWorker(unsigned long (*proc)(void *), void *arg, unsigned doneMsg)
    {
        std::thread worker(proc, arg);
        const bool done = recorder.WaitFor(doneMsg, kWorkerTimeout);
        worker.join();
        ASSERT_TRUE(done);
    }

    void RunCapture(const std::string &port)
    {
        RunWorker(CaptureThreadProc, new std::string(port), WM_APP_CAPTURE_DONE);
    }
    void RunQuery() { RunWorker(QueryThreadProc, nullptr, WM_APP_QUERY_DONE); }
    // The image as a front end judged it: as listed at the capture, or else
    // read now, as a dropped file is.
    static CheckedImage Checked(const std::string &path)
    {
        for (const FirmwareVersion &fw : g_fwList)
            if (fw.path == path)
                return CheckedImage{fw, nullptr};
        CheckedImage checked;
        ReadFirmwareInfo(path, checked.fw);
        checked.fw.path = path;
        return checked;
    }
    void RunProgram(const std::string &path) { RunProgram(Checked(path)); }
    void RunProgram(const CheckedImage &checked)
    {
        RunWorker(ProgramThreadProc, new CheckedImage(checked), WM_APP_PROGRAM_DONE);
    }

    // A device identified and its flash loader running, with the two images
    // listed; the recorder and the simulator's statistics start afresh. The
    // device's thread starts the loader after its reply to the start command
    // is out, so the capture can be done before that: the test waits for it
    // (a power cycle in between would be undone by the late start).
    void CaptureDevice()
    {
        WriteLoader();
        newImage = WriteFirmware("vkt3k_1_10_0.bin", kNewFirmwareInfo);
        oldImage = WriteFirmware("vkt3k_1_2_0.bin", kOldFirmwareInfo);
        ASSERT_TRUE(StartSim());
        RunCapture(sim->PortPath());
        ASSERT_EQ(1u, CompletionOf(WM_APP_CAPTURE_DONE).wParam);
        ASSERT_TRUE(Eventually([&] { return sim->LoaderRunning(); }));
        recorder.Clear();
        sim->ResetStats();
    }

    // The one completion message, which must be the last message posted.
    PostedMessage CompletionOf(unsigned doneMsg) const
    {
        const std::vector<PostedMessage> all = recorder.Messages();
        EXPECT_EQ(1u, recorder.Of(doneMsg).size());
        if (all.empty())
            return PostedMessage{0, 0, 0, false, {}};
        EXPECT_EQ(doneMsg, all.back().msg);
        return all.back();
    }

    std::string LastLine() const
    {
        const std::vector<std::string> lines = recorder.LogLines();
        return lines.empty() ? std::string() : lines.back();
    }

    MessageRecorder recorder;
    SimOptions simOptions;
    std::unique_ptr<SimDevice> sim;
    fs::path root;
    std::string newImage, oldImage;
};
