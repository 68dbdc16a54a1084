// One running ZelvoFlashUpdate.exe, driven from outside as an operator would:
// its main window and controls, its message boxes and dialogs, file drops,
// and screenshots taken by the script that runs the driver.
#pragma once

#include "tests/e2e/winui.h"

#include <string>
#include <vector>

class AppSession {
public:
    ~AppSession();
    // Starts the program (UTF-8 path; working folder: its own) and waits for
    // its window.
    bool Launch(const std::string &exePath);
    // Waits for the process to end; true when it did.
    bool WaitExit(double seconds);
    // Ends the program if it still runs (WM_CLOSE, then termination).
    void Stop();

    HWND Main() const { return main_; }
    HWND Control(int id) const { return GetDlgItem(main_, id); }
    std::string Caption() const;
    std::string Text(int id) const;
    std::vector<std::string> LogLines() const;
    // True when the log got `line` after its first `from` lines.
    bool LogHas(const std::string &line, size_t from = 0) const;
    // The log's lines after its first `from`.
    std::vector<std::string> LogLinesFrom(size_t from) const;
    // Waits until the log's lines after its first `from` are `lines`: they
    // are posted, so they may come after a control has changed.
    bool WaitForLogLines(size_t from, const std::vector<std::string> &lines) const;
    // Names of the enabled interactive controls, in a fixed order:
    // port refresh capture disconnect query notes fwlist browse clear program.
    std::string EnabledControls() const;

    // Top-level window of the program with this class (and caption if given).
    HWND FindWindowOf(const char *cls, const char *caption = nullptr) const;
    // A message box of the program (a "#32770" window with a message text).
    HWND WaitForBox(double seconds = 30) const;
    bool NoBoxOpen() const;
    static std::string BoxText(HWND box);
    static void Answer(HWND box, int buttonId);

    // Delivers a WM_DROPFILES with one file (UTF-8 path), as the shell would.
    bool DropFile(const std::string &path);
    // Asks the script for a screenshot of `hwnd`'s screen rectangle saved as
    // NAME.png; false when no screenshot folder is set or nobody answered.
    bool Screenshot(const std::string &name, HWND hwnd) const;

private:
    PROCESS_INFORMATION pi_ = {};
    HWND main_ = nullptr;
};

// Settings from the environment set by the test script (UTF-8).
struct E2eConfig {
    std::string appExe;      // ZF_E2E_APP: the program in its own copy of the tree
    std::string com;         // ZF_E2E_COM: the simulated VKT-3 (VKT3K)
    std::string silentCom;   // ZF_E2E_SILENT_COM: a simulated device that never announces
    std::string workDir;     // ZF_E2E_WORK: where the driver writes its own images
    std::string simLog;      // ZF_E2E_SIM_LOG: the event log of the simulator on `com`
    // ZF_E2E_NAMES_APP: the program in a copy of the tree in a folder whose
    // name is not ASCII
    std::string namesAppExe;
    std::string appDir() const;       // folder of appExe, with its trailing separator
    std::string namesAppDir() const;  // folder of namesAppExe, likewise
};
const E2eConfig &Config();
