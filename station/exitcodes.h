// The exit code of a device session, as zflash exits with it and its record
// keeps it.
#pragma once

#include "app/outcome.h"

enum ExitCode {
    ExitOk = 0,          // success
    ExitFailed = 1,      // the operation failed on the device (erase, verify, ...)
    ExitBadInput = 2,    // usage, missing or invalid file, image for other hardware
    ExitNoDevice = 3,    // port cannot be opened, cancelled, time-out
    ExitUnverified = 4,  // image without hardware identifier, refused without --yes
    ExitRecordLost = 5,  // the device session succeeded, but its record could not be written
};

// One word for each exit code, as the JSON document names the outcome.
const char *OutcomeName(int exitCode);
// The exit code of a device session that failed this way.
int ExitCodeOf(FailureKind kind);

