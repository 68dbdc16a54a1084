// Helpers shared by the target library's device tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/eventually.h"
#include "tests/support/pty_line.h"
#include "targetlib/capture.h"
#include "targetlib/libstate.h"
#include "tools/imagewriter/imagewriter.h"
#include "tools/zsim/simdevice.h"

// Everything `op` writes to standard output.
inline std::string Printed(const std::function<void()> &op)
{
    testing::internal::CaptureStdout();
    op();
    return testing::internal::GetCapturedStdout();
}

inline long ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
                    .count());
}

// Writes an image file into a fresh temporary folder and loads it with
// ReadImage (quietly); the file and folder are removed again.
inline std::unique_ptr<IMG> LoadImage(const std::string &info, uint32_t address, const std::vector<BLK> &blocks)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() /
                   ("zf-target-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
    std::string path = (dir / "image.bin").string();
    std::unique_ptr<IMG> img;
    if (WriteImageFile(path, info, address, blocks))
        Printed([&] { img.reset(ReadImage(path.c_str())); });
    std::error_code ec;
    fs::remove_all(dir, ec);
    return img;
}

// Steps the capture as the application does (15 ms apart) until it reports
// 5 or 0, or `limitMs` passes. Returns the last state.
inline int StepCapture(int limitMs)
{
    auto t0 = std::chrono::steady_clock::now();
    int state = 1;
    for (;;) {
        state = CaptureTargetSM(state);
        if (state == 5 || state == 0 || ElapsedMs(t0) > limitMs)
            return state;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
}

// A simulated device with the library's port opened on it; the port is
// closed again after each test.
class SimTargetTest : public testing::Test {
protected:
    void TearDown() override
    {
        Printed([] { ClosePort(); });
        SetProgressCallback(nullptr);
        sim.reset();
    }

    void StartSim(const SimOptions &options = {})
    {
        sim = std::make_unique<SimDevice>(options);
        ASSERT_TRUE(sim->Start());
    }

    // Starts the device, opens the port and captures it; quiet.
    void Connect(const SimOptions &options = {})
    {
        StartSim(options);
        bool opened = false;
        int state = 0;
        Printed([&] {
            opened = OpenPort(sim->PortPath().c_str());
            state = StepCapture(5000);
        });
        ASSERT_TRUE(opened);
        ASSERT_EQ(state, 5);
    }

    std::unique_ptr<SimDevice> sim;
};

// A hand-driven line with the library's port opened on it (no capture: the
// library sends commands to whatever answers).
class PtyTargetTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(line.Path().empty());
        bool opened = false;
        Printed([&] { opened = OpenPort(line.Path().c_str()); });
        ASSERT_TRUE(opened);
    }
    void TearDown() override { Printed([] { ClosePort(); }); }

    // Sends `bytes` from the device's side and waits until the host's port
    // holds them: a step that follows reads them whatever the machine's load.
    void SendArrived(const std::string &bytes)
    {
        const int before = Port.RxBytes();
        line.Send(bytes);
        EXPECT_TRUE(Eventually([&] { return Port.RxBytes() >= before + int(bytes.size()); }));
    }

    PtyLine line;
};
