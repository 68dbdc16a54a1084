// Which controls are enabled, as a pure function of the application state.
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
};

UiEnables ComputeUiState(const UiInputs &in);
// The inputs as the application state holds them now. While a worker runs
// only the flags are read; the device state keeps its defaults (port closed,
// no hardware, no images), which no rule consults in that state.
UiInputs CurrentUiInputs();
