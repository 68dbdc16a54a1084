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
    // The button that Return presses while the focus is on no button:
    // Program once a device is captured (also while it is being programmed
    // or queried), Capture Device before.
    bool programIsDefault;
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
