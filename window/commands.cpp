// The operator's commands and dropped files.
#include "window/window.h"
// needs windows.h first
#include <commdlg.h>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/fwtext.h"
#include "app/image_step.h"
#include "app/utf16.h"
#include "app/workflows.h"
#include "targetlib/capture.h"

namespace {

void Capture()
{
    const LRESULT sel = SendMessageA(g_portCombo, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR) {
        ShowBox("Select a COM port first.", kBoxCaption, MB_ICONWARNING);
        return;
    }
    const std::string port = ComboEntryText(g_portCombo, int(sel));
    NoteCapturePort(port);

    ClearDeviceState();
    SendMessageA(g_fwCombo, CB_RESETCONTENT, 0, 0);
    SetText(g_deviceStatic, "Detecting...");
    SetText(g_installedStatic, "(unknown)");
    UpdateCustomUI();
    g_capturing = true;
    ResetProgressAndTitle();
    SetUIState();
    if (!StartWorker(CaptureThreadProc, std::make_unique<std::string>(port), g_capturing))
        SetText(g_deviceStatic, "(capture failed)");
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
        ShowBox(a.text, a.caption, MB_ICONERROR);
        return false;
    case ImageApproval::Ask:
        break;
    }
    return ShowBox(a.text, a.caption, MB_ICONWARNING | MB_YESNO) == IDYES;
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
    BeginProgramRecord(fw, g_customLoaded);
    g_programming = true;
    ResetProgressAndTitle();
    SetUIState();
    if (!StartWorker(ProgramThreadProc, std::make_unique<CheckedImage>(CheckedImage{fw, nullptr}), g_programming))
        EndRunEarly("The programming worker could not be started");
}

void Browse()
{
    wchar_t file[MAX_PATH] = L"";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = g_hwnd;
    ofn.lpstrFilter = L"Zelvo firmware images (*.bin)\0*.bin\0All files (*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = L"Select custom firmware image";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    bool chosen = false;
    {
        const ModalTurn turn;
        chosen = turn.granted && GetOpenFileNameW(&ofn);
    }
    if (chosen)
        LoadCustomFirmware(Utf8FromWide(file));
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
    const std::string path = DroppedFile(drop, 0);
    if (!path.empty())
        LoadCustomFirmware(path);
    DragFinish(drop);
}
