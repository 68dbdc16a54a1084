// Which of the ten interactive controls are enabled, which button Return
// presses and where the keyboard focus belongs, from the application state.
#include "app/uistate.h"

#include "app/appstate.h"

UiEnables ComputeUiState(const UiInputs &in)
{
    const bool busy = in.capturing || in.programming;
    const bool idle = !busy && !in.querying;

    UiEnables out;
    out.portCombo = idle;
    out.portRefresh = idle;
    out.capture = idle;
    out.disconnect = in.capturing || (idle && in.portOpen);
    out.query = idle && in.portOpen;
    out.notes = idle && in.hwKnown;
    out.fwCombo = idle && !in.customLoaded && !in.fwListEmpty;
    out.browse = idle;
    out.clear = idle && in.customLoaded;
    out.program = idle && in.portOpen && (in.customLoaded ? in.customValid : !in.fwListEmpty);
    out.disconnectCaption = in.capturing ? "Cancel" : "Disconnect";
    // Programming and querying need an open port; while they run the port
    // state is not read, so their flags stand for it.
    out.captureIsDefault = !(in.portOpen || in.programming || in.querying);
    return out;
}

FocusHome ChooseFocusHome(bool chosenEnabled, bool defaultEnabled, bool cancelEnabled)
{
    if (chosenEnabled)
        return FocusHome::Chosen;
    if (defaultEnabled)
        return FocusHome::DefaultButton;
    if (cancelEnabled)
        return FocusHome::Cancel;
    return FocusHome::Window;
}

UiInputs CurrentUiInputs()
{
    UiInputs in;
    in.capturing = g_capturing;
    in.programming = g_programming;
    in.querying = g_querying;
    in.customLoaded = g_customLoaded;
    in.customValid = g_customValid;
    // While a worker runs it may be writing the device state (the capture
    // worker sets g_portOpen and replaces g_fwList without a lock), and no
    // rule looks at it then: it is read only while the window has it alone.
    if (in.capturing || in.programming || in.querying)
        return in;
    in.portOpen = g_portOpen;
    in.hwKnown = g_hw.load() != nullptr;
    in.fwListEmpty = g_fwList.empty();
    return in;
}
