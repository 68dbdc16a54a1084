// The workers' completion messages.
#include "app/appstate.h"
#include "app/fwtext.h"
#include "app/outcome.h"
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

namespace {

// After "Programming complete." the query shows the new firmware (and gives
// the run's record its firmware after).
void QueryAfterProgramming()
{
    if (g_portOpen && !g_capturing && !g_programming && !g_querying)
        StartQuery();
    else
        FinishPendingRecord();
}

}  // namespace

void OnProgramDone(bool ok)
{
    const unsigned run = RunUnderWay();
    EndProgramRecord(ok);
    g_programming = false;
    ResetProgressAndTitle();
    SetUIState();
    // A close question about this run is moot now: taken away, and the
    // result takes its turn after it.
    WithdrawQuestionAbout(run);
    if (!ok) {
        ShowNotice({"Programming failed - see log for details.", kBoxCaption, MB_ICONERROR, nullptr, false});
        return;
    }
    ShowNotice({"Programming complete.", kBoxCaption, MB_ICONINFORMATION, QueryAfterProgramming, false});
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
