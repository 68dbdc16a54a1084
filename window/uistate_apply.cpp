// Applies the enable rules to the controls (and what follows from them: the
// keyboard focus, the session's guard while the device is written) and
// writes the custom-firmware panel.
#include "app/appstate.h"
#include "app/uistate.h"
#include "window/window.h"
#include "catalogue/hwcheck.h"

void SetUIState()
{
    static bool wasCancel = false;
    const UiInputs in = CurrentUiInputs();
    const UiEnables on = ComputeUiState(in);

    EnableWindow(g_portCombo, on.portCombo);
    EnableWindow(g_portRefresh, on.portRefresh);
    EnableWindow(g_captureBtn, on.capture);
    EnableWindow(g_disconnectBtn, on.disconnect);
    if (in.capturing != wasCancel) {
        SetText(g_disconnectBtn, on.disconnectCaption);
        wasCancel = in.capturing;
    }
    EnableWindow(g_queryBtn, on.query);
    EnableWindow(g_notesBtn, on.notes);
    EnableWindow(g_fwCombo, on.fwCombo);
    EnableWindow(g_browseBtn, on.browse);
    EnableWindow(g_clearBtn, on.clear);
    EnableWindow(g_programBtn, on.program);

    GuardDeviceWork(in.programming);
    PlaceFocus();
}

namespace {

std::string CustomFileLine()
{
    std::string line = g_customFw.fileName;
    if (!g_customFw.version.empty())
        line += "   v" + g_customFw.version;
    return line;
}

std::string CustomStatusLine()
{
    const Product *prod = g_prod;
    const HWOption *hw = g_hw;
    const std::string image = ModelHW(g_customFw.model, g_customFw.hw);
    if (!prod || !hw)
        return "For " + image + " - capture a device to verify.";
    if (g_customValid)
        return "Verified: matches the connected " + ModelHW(prod->name, hw->hw) + ".";
    return "DOES NOT MATCH - this firmware is for " + image + ".  Use Clear.";
}

}  // namespace

void UpdateCustomUI()
{
    if (!g_customLoaded) {
        SetText(g_customFileStatic, "(none - using bundled firmware above)");
        SetText(g_customStatusStatic, "Drag a firmware file onto this window, or click Browse.");
        return;
    }
    SetText(g_customFileStatic, CustomFileLine());
    SetText(g_customStatusStatic, CustomStatusLine());
}
