// Which controls are enabled, the default button and the focus, as pure
// functions of the application state.
#pragma once

struct UiInputs {
    bool capturing = false;
    bool programming = false;
    bool querying = false;
    bool portOpen = false;
    bool hwKnown = false;       // g_hw is set
    bool fwListEmpty = true;
    bool customLoaded = false;
    bool customValid = false;
};

struct UiEnables {
    bool portCombo, portRefresh, capture, disconnect, query, notes, fwCombo, browse, clear, program;
    const char *disconnectCaption;  // "Cancel" while capturing, else "Disconnect"
    // Return, pressed while the focus is on no button, presses Capture
    // Device until a device is captured. Once one is (also while it is
    // programmed or queried) no button is the default: a stray Return in a
    // list or the log must never start erasing the device, so Program is
    // pressed only on purpose (Alt+P, or Space or Return on the button).
    bool captureIsDefault;
};

UiEnables ComputeUiState(const UiInputs &in);
// The inputs as the application state holds them now. While a worker runs
// only the flags are read; the device state keeps its defaults (port closed,
// no hardware, no images), which no rule consults in that state.
UiInputs CurrentUiInputs();

// Where the keyboard focus belongs after the enabled states changed: the
// control the operator last put it on while that is enabled; else the
// state's default button; else Cancel (a capture that waits); else the
// window itself, which keeps its keys (Alt+F4, the system menu) working.
enum class FocusHome { Chosen, DefaultButton, Cancel, Window };
FocusHome ChooseFocusHome(bool chosenEnabled, bool defaultEnabled, bool cancelEnabled);
