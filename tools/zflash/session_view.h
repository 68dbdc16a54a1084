// zflash's view of a device session: its output (the terminal, the JSON
// document, or a supervisor's events) and its progress display.
#pragma once

#include "station/session_view.h"

// The view that zflash's output and progress show the session through.
SessionView &TerminalView();
