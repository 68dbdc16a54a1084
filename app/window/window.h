// The Windows program's main window: handles, control ids and the functions
// the window's source files share. Window thread only. The windows are
// Unicode windows; text is UTF-8 everywhere else (uitext.cpp converts).
#pragma once

#include <windows.h>
// These need windows.h first.
#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

// Control ids.
enum {
    IDC_PORT_COMBO = 1001,
    IDC_PORT_REFRESH = 1002,
    IDC_CAPTURE = 1003,
    IDC_DEVICE = 1004,
    IDC_FW_COMBO = 1005,
    IDC_PROGRAM = 1006,
    IDC_LOG = 1007,
    IDC_INSTALLED = 1008,
    IDC_QUERY = 1009,
    IDC_DISCONNECT = 1010,
    IDC_NOTES = 1011,
    IDC_CUSTOM_GROUP = 1020,
    IDC_CUSTOM_FILE = 1021,
    IDC_CUSTOM_STATUS = 1022,
    IDC_BROWSE = 1023,
    IDC_CLEAR = 1024,
    IDC_PROGRESS = 1025,
    IDC_NOTES_EDIT = 1030,
};

extern const wchar_t kMainClass[];   // "ZelvoFlashUpdateWndClass"
extern const wchar_t kNotesClass[];  // "ZelvoNotesWndClass"
extern const char kBoxCaption[];  // "ZelvoFlashUpdate"

extern HWND g_hwnd;
extern HFONT g_monoFont;
extern HWND g_portCombo, g_portRefresh, g_captureBtn, g_disconnectBtn;
extern HWND g_deviceStatic, g_notesBtn, g_installedStatic, g_queryBtn;
extern HWND g_fwCombo, g_programBtn, g_customFileStatic, g_customStatusStatic;
extern HWND g_browseBtn, g_clearBtn, g_logEdit, g_progressBar;
extern HWND g_notesWnd, g_notesEdit;

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK NotesWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK SetFontCallback(HWND child, LPARAM font);

// uitext.cpp: text into and out of windows, UTF-8 on this side.
void SetText(HWND hwnd, const std::string &text);
void AddComboEntry(HWND combo, const std::string &text);
// Entry `index` of a combo box's list ("" when there is none).
std::string ComboEntryText(HWND combo, int index);
// Appends `text` at the end of an edit control's text.
void AppendToEdit(HWND edit, const std::string &text);
// A modal message box owned by the main window (MessageBoxW); its answer.
int ShowBox(const std::string &text, const std::string &caption, unsigned type);
// The path of file `index` of a drop ("" when there is none).
std::string DroppedFile(HDROP drop, UINT index);
// create.cpp: the main window's creation steps.
void OnCreate(HWND hwnd);
// display.cpp: log lines, progress and the erase phase.
void ShowLogLine(std::string *line);
void ShowProgress(WPARAM percent, LPARAM phase);
void ShowEraseBusy(bool busy);
void ResetProgressAndTitle();
// uistate_apply.cpp
void SetUIState();
void UpdateCustomUI();
// ports.cpp
std::vector<std::string> EnumerateComPorts();
void RefreshPortList();
// notes.cpp
void ShowReleaseNotes();
// commands.cpp: operator commands and dropped files.
void OnCommand(int id);
void OnDropFiles(HDROP drop);
// completion.cpp: the workers' completion messages.
void OnCaptureDone(bool ok);
void OnProgramDone(bool ok);
void OnQueryDone(bool ok, std::string *summary);
// workers.cpp: starting workers.
void StartQuery();
// Starts a worker thread that takes `arg`; when it cannot start, `busyFlag`
// is cleared, the failure logged and `arg` freed.
bool StartWorkerThread(LPTHREAD_START_ROUTINE proc, void *arg, bool &busyFlag);
template <class Arg>
bool StartWorker(LPTHREAD_START_ROUTINE proc, std::unique_ptr<Arg> arg, bool &busyFlag)
{
    if (!StartWorkerThread(proc, arg.get(), busyFlag))
        return false;  // arg frees it
    arg.release();     // the worker's now
    return true;
}
