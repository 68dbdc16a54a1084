// Application state shared by the window thread and the workers, the six
// worker messages, and the two reporting functions. Portable: the window is
// reached only through the message sink (PostMessageA in the Windows program).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/firmware.h"
#include "catalogue/target.h"
#include "targetlib/capture.h"

// Worker messages (WM_APP = 0x8000).
enum : unsigned {
    WM_APP_LOG = 0x8001,           // lParam: std::string* line, owned by the receiver
    WM_APP_CAPTURE_DONE = 0x8002,  // wParam: 1 success, 0 failure
    WM_APP_PROGRAM_DONE = 0x8003,  // wParam: 1 success, 0 failure
    WM_APP_QUERY_DONE = 0x8004,    // wParam 1: lParam std::string* summary (owned by receiver)
    WM_APP_PROGRESS = 0x8005,      // wParam: percent, lParam: ProgressPhase
    WM_APP_ERASE_BUSY = 0x8006,    // wParam: 1 erase started, 0 ended
    WM_APP_VERIFY_DONE = 0x8007,   // wParam: 1 the flash holds the image, 0 not (command line only)
};

extern std::string g_appTitle;
extern bool g_portOpen;
extern bool g_capturing;
extern bool g_querying;
extern bool g_programming;
extern std::atomic<bool> g_abortCapture;
// Set with g_abortCapture when the wait was given up because no device
// appeared in time (the command line's --timeout), not by the operator.
extern std::atomic<bool> g_captureTimedOut;
extern std::atomic<const Product *> g_prod;
extern std::atomic<const HWOption *> g_hw;
extern std::vector<FirmwareVersion> g_fwList;
extern FirmwareVersion g_customFw;
extern bool g_customLoaded;
extern bool g_customValid;

// Where worker messages go. The Windows program posts them to the main window;
// tests and the command-line front end install their own sink, which then owns
// the heap strings attached to WM_APP_LOG and WM_APP_QUERY_DONE.
using MessageSink = void (*)(unsigned msg, uintptr_t wParam, intptr_t lParam);
void SetMessageSink(MessageSink sink);
void PostWorkerMessage(unsigned msg, uintptr_t wParam, intptr_t lParam);

// One line into the operator's log (posted as WM_APP_LOG).
void Log(const std::string &line);
// Registered with the target library; posts WM_APP_PROGRESS when the whole
// percentage or the phase changes.
void ProgressCallback(ProgressPhase phase, int done, int total);
// Forgets the last posted percentage (only for tests that need a fresh start).
void ResetProgressThrottle();

// Modal message boxes (MessageBoxA in the Windows program).
enum : unsigned {
    BoxOk = 0x00, BoxYesNo = 0x04,
    BoxIconError = 0x10, BoxIconWarning = 0x30, BoxIconInformation = 0x40,
};
enum { BoxAnswerOk = 1, BoxAnswerYes = 6, BoxAnswerNo = 7 };
using MessageBoxHandler = int (*)(const std::string &text, const std::string &caption, unsigned type);
void SetMessageBoxHandler(MessageBoxHandler handler);
int AppMessageBox(const std::string &text, const std::string &caption, unsigned type);

// Called after a custom image was loaded, to show it: the window's
// UpdateCustomUI() followed by SetUIState(). Default: nothing.
void SetCustomUiRefresher(void (*refresh)());
void RefreshCustomUi();
