// The workers' completion messages.
#include "app/appstate.h"
#include "app/fwtext.h"
#include "app/window/window.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"

namespace {

void FillFirmwareList()
{
    SendMessageA(g_fwCombo, CB_RESETCONTENT, 0, 0);
    for (const FirmwareVersion &fw : g_fwList)
        SendMessageA(g_fwCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FirmwareListEntry(fw).c_str()));
    SendMessageA(g_fwCombo, CB_SETCURSEL, 0, 0);
}

}  // namespace

void OnCaptureDone(bool ok)
{
    g_capturing = false;
    ResetProgressAndTitle();
    const Product *prod = g_prod;
    const HWOption *hw = g_hw;
    if (!ok || !prod || !hw) {
        SetWindowTextA(g_deviceStatic, "(capture failed)");
        ValidateCustom();
        UpdateCustomUI();
        SetUIState();
        return;
    }
    SetWindowTextA(g_deviceStatic, ModelHW(prod->name, hw->hw).c_str());
    FillFirmwareList();
    ValidateCustom();
    UpdateCustomUI();
    if (g_customLoaded && !g_customValid)
        Log("    Custom firmware does not match this device - Program disabled.");
    SetUIState();
    if (g_portOpen)
        StartQuery();
}

void OnProgramDone(bool ok)
{
    g_programming = false;
    ResetProgressAndTitle();
    SetUIState();
    if (!ok) {
        MessageBoxA(g_hwnd, "Programming failed - see log for details.", kBoxCaption, MB_ICONERROR);
        return;
    }
    MessageBoxA(g_hwnd, "Programming complete.", kBoxCaption, MB_ICONINFORMATION);
    if (g_portOpen)
        StartQuery();
}

void OnQueryDone(bool ok, std::string *summary)
{
    g_querying = false;
    if (ok && summary)
        SetWindowTextA(g_installedStatic, summary->c_str());
    else
        SetWindowTextA(g_installedStatic, "(query failed)");
    delete summary;
    SetUIState();
}
