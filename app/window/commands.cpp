// The operator's commands and dropped files.
#include "app/window/window.h"
// needs windows.h first
#include <commdlg.h>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/fwtext.h"
#include "app/workflows.h"
#include "targetlib/capture.h"

namespace {

void Capture()
{
    const LRESULT sel = SendMessageA(g_portCombo, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR) {
        MessageBoxA(g_hwnd, "Select a COM port first.", kBoxCaption, MB_ICONWARNING);
        return;
    }
    char port[260] = "";
    if (SendMessageA(g_portCombo, CB_GETLBTEXTLEN, WPARAM(sel), 0) < LRESULT(sizeof port))
        SendMessageA(g_portCombo, CB_GETLBTEXT, WPARAM(sel), reinterpret_cast<LPARAM>(port));

    ClearDeviceState();
    SendMessageA(g_fwCombo, CB_RESETCONTENT, 0, 0);
    SetWindowTextA(g_deviceStatic, "Detecting...");
    SetWindowTextA(g_installedStatic, "(unknown)");
    UpdateCustomUI();
    g_capturing = true;
    ResetProgressAndTitle();
    SetUIState();
    if (!StartWorker(CaptureThreadProc, new std::string(port), g_capturing))
        SetWindowTextA(g_deviceStatic, "(capture failed)");
}

void Query()
{
    if (g_portOpen)
        StartQuery();
}

void DisconnectOrCancel()
{
    if (g_capturing) {
        g_abortCapture = true;
        Log("Cancelling capture...");
        return;
    }
    if (!g_portOpen)
        return;
    ReleaseDevice();
    Log("COM port released. The port is now free for a terminal program.");
    SetUIState();
}

// The hardware check's decision, shown; true when programming may go ahead.
bool Approve(const FirmwareVersion &fw, const Product &prod, const HWOption &hw)
{
    const ImageApproval a = ApproveImage(fw, prod, hw, g_customLoaded);
    switch (a.verdict) {
    case ImageApproval::Go:
        return true;
    case ImageApproval::Refuse:
        MessageBoxA(g_hwnd, a.text.c_str(), a.caption.c_str(), MB_ICONERROR);
        return false;
    case ImageApproval::Ask:
        break;
    }
    return MessageBoxA(g_hwnd, a.text.c_str(), a.caption.c_str(), MB_ICONWARNING | MB_YESNO) == IDYES;
}

void Program()
{
    const Product *prod = g_prod;
    const HWOption *hw = g_hw;
    FirmwareVersion fw;
    const long sel = long(SendMessageA(g_fwCombo, CB_GETCURSEL, 0, 0));
    if (!prod || !hw || !ChosenImage(sel, fw) || !Approve(fw, *prod, *hw))
        return;
    Log(ProgrammingLogLine(fw, g_customLoaded));
    g_programming = true;
    ResetProgressAndTitle();
    SetUIState();
    StartWorker(ProgramThreadProc, new std::string(fw.path), g_programming);
}

void Browse()
{
    char file[MAX_PATH] = "";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = g_hwnd;
    ofn.lpstrFilter = "Zelvo firmware images (*.bin)\0*.bin\0All files (*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = "Select custom firmware image";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameA(&ofn))
        LoadCustomFirmware(file);
}

void Clear()
{
    if (!g_customLoaded)
        return;
    g_customLoaded = false;
    g_customValid = false;
    g_customFw = FirmwareVersion{};
    UpdateCustomUI();
    SetUIState();
    Log("Custom firmware cleared - using bundled firmware.");
}

}  // namespace

void OnCommand(int id)
{
    switch (id) {
    case IDC_PORT_REFRESH: RefreshPortList(); break;
    case IDC_CAPTURE: Capture(); break;
    case IDC_PROGRAM: Program(); break;
    case IDC_QUERY: Query(); break;
    case IDC_DISCONNECT: DisconnectOrCancel(); break;
    case IDC_NOTES: ShowReleaseNotes(); break;
    case IDC_BROWSE: Browse(); break;
    case IDC_CLEAR: Clear(); break;
    default: break;
    }
}

void OnDropFiles(HDROP drop)
{
    // Ask for the length first, so a long path is never cut short.
    const UINT len = DragQueryFileA(drop, 0, nullptr, 0);
    if (len > 0) {
        std::string path(len + 1, '\0');
        if (DragQueryFileA(drop, 0, &path[0], len + 1) == len) {
            path.resize(len);
            LoadCustomFirmware(path);
        }
    }
    DragFinish(drop);
}
