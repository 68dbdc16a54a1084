// One running ZelvoFlashUpdate.exe, driven from outside as an operator would:
// its main window and controls, its message boxes and dialogs, file drops,
// and screenshots taken by the script that runs the driver.
#pragma once

#include "tests/e2e/winui.h"

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class AppSession {
public:
    ~AppSession();
    // Starts the program (UTF-8 path; working folder: its own) and waits for
    // its window. It starts as on a user's first run, with nothing
    // remembered from earlier runs, unless `rememberedPort` is kept.
    enum Remembered { Forget, Keep };
    bool Launch(const std::string &exePath, Remembered rememberedPort = Forget);
    // Waits for the process to end; true when it did.
    bool WaitExit(double seconds);
    bool Alive() const;
    // Ends the program if it still runs (WM_CLOSE, then termination).
    void Stop();

    HWND Main() const { return main_; }
    HWND Control(int id) const { return GetDlgItem(main_, id); }
    std::string Caption() const;
    // The control (or window) that has the keyboard focus, and its id (0:
    // the main window itself or none).
    HWND Focus() const { return FocusOf(main_); }
    int FocusId() const;
    // A key pressed where the program has its keyboard focus (Alt held if
    // `alt`), on the window that has the focus in the program's thread
    // (a message box's button while a box is open).
    void Key(UINT vk, bool alt = false) const;
    std::string Text(int id) const;
    std::vector<std::string> LogLines() const;
    // True when the log got `line` after its first `from` lines.
    bool LogHas(const std::string &line, size_t from = 0) const;
    // The log's lines after its first `from`.
    std::vector<std::string> LogLinesFrom(size_t from) const;
    // Waits until the log's lines after its first `from` are `lines`: they
    // are posted, so they may come after a control has changed.
    bool WaitForLogLines(size_t from, const std::vector<std::string> &lines) const;
    // Selects `port`, presses Capture Device and waits for this capture's
    // "Detected:" line, the device label and the query after it. The click
    // is posted, and the window may still show an earlier capture's device:
    // the wait is for this capture's own log line. False when it timed out.
    bool Capture(const std::string &port, const std::string &device = "VKT-3 (VKT3K)") const;
    // Nothing runs: Capture Device is enabled and no query is under way.
    bool Idle() const;
    // Selects entry `index` of the firmware list, presses Program and waits
    // until the run is under way (every control disabled, or its first log
    // line there).
    bool StartProgramming(int index = 0, double seconds = 30) const;
    // Names of the enabled interactive controls, in a fixed order:
    // port refresh capture disconnect query notes fwlist browse clear program.
    std::string EnabledControls() const;

    // Top-level window of the program with this class (and caption if given).
    HWND FindWindowOf(const char *cls, const char *caption = nullptr) const;
    // A message box of the program (a "#32770" window with a message text).
    HWND WaitForBox(double seconds = 30) const;
    bool NoBoxOpen() const;
    // Every message box of the program that is shown.
    std::vector<HWND> Boxes() const;
    // A modal box shown while the main window takes input (it should be
    // disabled under any box); null when none. A box that closes enables the
    // window an instant before it hides: only one seen so for `seconds` counts.
    HWND BoxOverEnabledMain(double seconds = 0.3) const;
    static std::string BoxText(HWND box);
    static void Answer(HWND box, int buttonId);

    // Delivers a WM_DROPFILES with one file (UTF-8 path), as the shell would.
    bool DropFile(const std::string &path);
    // Tells the main window that it is now shown at `dpi`, as Windows does
    // when the window moves to a screen with another DPI.
    bool SendDpiChanged(UINT dpi) const;
    // Asks the script for a screenshot of `hwnd`'s screen rectangle saved as
    // NAME.png; false when no screenshot folder is set or nobody answered.
    bool Screenshot(const std::string &name, HWND hwnd) const;

private:
    // A copy of `data` in the program's memory (never freed: a test's worth).
    void *CopyIn(const void *data, size_t size) const;

    PROCESS_INFORMATION pi_ = {};
    HWND main_ = nullptr;
};

// The user's file of records (the window appends one for each Program run),
// and the records in it, in order (a line that is not JSON is a null).
std::string UserRecordsPath();
// The runs' records (their ends) in the user's file, in order; and their starts.
std::vector<nlohmann::json> UserRecords();
std::vector<nlohmann::json> UserStarts();

// What the program remembers per user: the port of the last capture.
std::string RememberedPort();
void ForgetRememberedPort();

// Settings from the environment set by the test script (UTF-8).
struct E2eConfig {
    std::string appExe;      // ZF_E2E_APP: the program in its own copy of the tree
    std::string com;         // ZF_E2E_COM: the simulated VKT-3 (VKT3K)
    std::string silentCom;   // ZF_E2E_SILENT_COM: a simulated device that never announces
    std::string keysCom;     // ZF_E2E_KEYS_COM: another simulated VKT-3 (VKT3K), for the keyboard's runs
    std::string orderCom;    // ZF_E2E_ORDER_COM: one more, for the runs that close the window
    // ZF_E2E_RANDOM_COM: the device of the random-order test, with its
    // control FIFO (ZF_E2E_RANDOM_CONTROL) and what it prints (ZF_E2E_RANDOM_OUT)
    std::string randomCom, randomControl, randomOut;
    std::string workDir;     // ZF_E2E_WORK: where the driver writes its own images
    std::string simLog;      // ZF_E2E_SIM_LOG: the event log of the simulator on `com`
    // ZF_E2E_NAMES_APP: the program in a copy of the tree in a folder whose
    // name is not ASCII
    std::string namesAppExe;
    std::string appDir() const;       // folder of appExe, with its trailing separator
    std::string namesAppDir() const;  // folder of namesAppExe, likewise
};
const E2eConfig &Config();
