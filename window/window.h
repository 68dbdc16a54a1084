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

#include "app/boxturns.h"
#include "catalogue/firmware.h"

// Per-monitor DPI (Windows 10 1607 and later); the headers offer it only to
// builds for those versions.
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

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

// Resources (resource.rc).
enum {
    IDI_APP = 1,  // the application icon: 16, 32, 48 and 256 pixels
};

// The window's own messages (the workers' are WM_APP + 1 to + 7).
enum : UINT {
    WM_APP_NOTICE_TURN = WM_APP + 0x20,    // a waiting notice may be shown now
    WM_APP_RECORD_FAILED = WM_APP + 0x21,  // a record could not be written (TakeRecordFailures)
};

// The system menu's own command (below 0xF000, a multiple of 16).
enum { IDM_ABOUT = 0x0010 };

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
    Arg *owned = arg.release();  // the worker's, once it runs
    if (StartWorkerThread(proc, owned, busyFlag))
        return true;
    delete owned;  // it never ran
    return false;
}

// dpi.cpp: the DPI a window is shown at, and sizes for it. Functions that
// older Windows (and Wine) lack are looked up at run time.
UINT WindowDpi(HWND hwnd);
// The DPI Windows made its stock objects for (the primary screen's).
UINT SystemDpi();
// Resizes `hwnd` so that its client area is width x height pixels at 96
// DPI, scaled to `dpi`; its position stays.
void FitClientArea(HWND hwnd, int width, int height, UINT dpi);
// The outer size of a window with `style` whose client area is width x
// height at 96 DPI, at `dpi` (for WM_GETDPISCALEDSIZE).
SIZE OuterSizeForDpi(int width, int height, DWORD style, UINT dpi);
// The window's icons, big and small, at the sizes for its DPI.
void SetWindowIcons(HWND hwnd, UINT dpi);
// fonts.cpp: the stock dialog font and the log font, made for a DPI (at 96
// DPI the log font is g_monoFont; at the system's DPI the dialog font is the
// stock object itself). Kept for the whole run.
HFONT DialogFont(UINT dpi);
HFONT MonoFont(UINT dpi);
HFONT CreateMonoFont(UINT dpi);
// create.cpp: moves the controls and gives them their fonts for `dpi`.
void LayoutControls(UINT dpi);
void OnDpiChanged(HWND hwnd, UINT dpi, const RECT &suggested);
extern const DWORD kMainStyle;
extern const int kClientWidth, kClientHeight;  // at 96 DPI

// keyboard.cpp: keys the window handles before the dialog manager (Escape
// and the access keys); true when the message was used up.
bool HandleWindowKey(const MSG &msg);
// focus.cpp: where the keyboard focus is and which button looks default.
// Called after every message: notices a focus change.
void NoteFocus();
// A button's command: a click or an access key has just put the focus on
// it, the operator's choice, before the command moves the focus elsewhere.
void NoteCommandSender(HWND sender);
// Puts the focus where it belongs after the enabled states changed or the
// window was activated.
void PlaceFocus();
// WM_NEXTDLGCTL: the next or previous tab stop, or a given control.
void MoveFocus(WPARAM wParam, LPARAM lParam);
// The button Return presses while no button has the focus (DM_GETDEFID);
// 0 when none does.
int DefaultButtonId();
// The first control to get the focus.
void ChooseFocus(HWND control);
// accesskeys.cpp: a control whose caption has an access key shows it
// underlined; pressing the key presses the button or focuses the control
// after the label. True when `key` belongs to a control.
void AddAccessKey(HWND control);
bool PressAccessKey(unsigned key);
// accessible.cpp: what screen readers are told of `control`: its name
// (null: its caption, as it changes) and the access key that reaches it,
// from `keyOwner`'s caption (null: none).
void DescribeForAccessibility(HWND control, const char *name, HWND keyOwner);
// session.cpp: while the device is written, Windows shutdown and log-off
// are held back and the computer is kept awake.
void GuardDeviceWork(bool writing);
// WM_QUERYENDSESSION: whether the session may end now.
bool OnQueryEndSession();
// WM_ENDSESSION: `ending` TRUE ends the window (the run under way is recorded
// as ended by the session's end) and writes every record before it returns.
void OnEndSession(bool ending);
// The session has ended: nothing is shown any more.
bool SessionEnded();
// about.cpp: the system menu's About entry and its box.
void AddAboutToSystemMenu(HWND hwnd);
void ShowAbout();
// settings.cpp: the port used last time, remembered per user.
std::string LoadLastPort();
void SaveLastPort(const std::string &port);
// ports.cpp: the port list follows the system's ports by itself.
void FillPortListAtStart();
void SchedulePortRefresh();
void OnPortRefreshTimer();
void ListenForPortChanges(HWND hwnd);
// The port a capture was started on; remembered when the capture succeeds
// (and returned).
void NoteCapturePort(const std::string &port);
std::string RememberCapturePort();
// adapter_note.cpp: a USB serial adapter whose latency timer slows every
// block is said once per port, after its first capture.
void NoteSlowAdapter(const std::string &port, unsigned baud);
// boxes.cpp: the modal boxes, one at a time. A notice (a box with only OK)
// that comes while another box is open waits for its turn (ShowBox then
// returns IDOK at once); a question is not asked then (ShowBox returns 0).
int ShowBox(const std::string &text, const std::string &caption, unsigned type);
void ShowNotice(const Notice &notice);
void OnNoticeTurn();
// The close question about programming run `run`: its answer, or 0 when it
// was not asked (another box is open) or was taken away (WithdrawQuestionAbout).
int AskAboutRun(unsigned run, const std::string &text, const std::string &caption, unsigned type);
// Run `run` has ended: a question about it is taken away.
void WithdrawQuestionAbout(unsigned run);
// A box is open or a notice waits: the main window takes no command.
bool BoxesBusy();
// A modal dialog of the window's own (a box, the open-file dialog, About)
// while it is open; `granted`: it may open now (no other box is open or
// waiting, the window is not going).
class ModalTurn {
public:
    explicit ModalTurn(unsigned aboutRun = 0);
    ~ModalTurn();
    ModalTurn(const ModalTurn &) = delete;
    ModalTurn &operator=(const ModalTurn &) = delete;
    const bool granted;
};
// The window is being closed: no box is shown from now on, and nothing that
// waited for one goes on.
void WindowGoing();
bool WindowIsGoing();
// After the window has gone: the notices that must be seen (records that
// could not be written) and `lost`, in boxes of their own.
void SayWhatMustBeSeen(const std::vector<std::string> &lost);
// record.cpp: the record of each Program run, in the user's file of records.
void NoteCapturedDevice(const std::string &port, unsigned loaderBaud);
// A new run's record; returns its number (1, 2, ...).
unsigned BeginProgramRecord(const FirmwareVersion &fw, bool custom);
// The run whose worker has not ended (0: none).
unsigned RunUnderWay();
// The worker's completion: ok, or the failure in g_outcome.
void EndProgramRecord(bool ok);
// The query that followed a successful run: the new firmware.
void NoteInstalledFirmware(bool ok);
// A run whose new firmware will not be read: its record as it stands.
void FinishPendingRecord();
// The run ends without its worker's completion; `why` says by what ("The
// window was closed"), the record adds what that means for the device.
void EndRunEarly(const std::string &why);
// Waits until every record handed over is written (before the process ends).
void WaitForRecords();
// The records that could not be written since the last call, in words.
std::vector<std::string> TakeRecordFailures();
// closing.cpp: the close question and the end of the window.
void OnClose();
// Ends the window (and so the process): the run under way is recorded as
// ended by `why`, and a record that waits for its query as it stands.
void EndWindow(const std::string &why);
// The program worker's completion is on its way (posted, not yet handled).
bool CompletionOnItsWay();
enum { kPortRefreshTimer = 1 };
