// The workers' completion messages.
#include "app/appstate.h"
#include "app/fwtext.h"
#include "window/window.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"

namespace {

void FillFirmwareList()
{
    SendMessageA(g_fwCombo, CB_RESETCONTENT, 0, 0);
    for (const FirmwareVersion &fw : g_fwList)
        AddComboEntry(g_fwCombo, FirmwareListEntry(fw));
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
        SetText(g_deviceStatic, "(capture failed)");
        ValidateCustom();
        UpdateCustomUI();
        SetUIState();
        return;
    }
    SetText(g_deviceStatic, ModelHW(prod->name, hw->hw));
    const std::string port = RememberCapturePort();
    NoteCapturedDevice(port, g_outcome.loaderBaud);  // the worker wrote its outcome before its completion
    NoteSlowAdapter(port, g_outcome.loaderBaud);
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
    EndProgramRecord(ok);
    g_programming = false;
    ResetProgressAndTitle();
    SetUIState();
    if (!ok) {
        ShowBox("Programming failed - see log for details.", kBoxCaption, MB_ICONERROR);
        return;
    }
    ShowBox("Programming complete.", kBoxCaption, MB_ICONINFORMATION);
    if (g_portOpen)
        StartQuery();
}

void OnQueryDone(bool ok, std::string *summary)
{
    NoteInstalledFirmware(ok);
    g_querying = false;
    if (ok && summary)
        SetText(g_installedStatic, *summary);
    else
        SetText(g_installedStatic, "(query failed)");
    delete summary;
    SetUIState();
}
