// What every zflash command shares: the exit codes, the options and the
// commands themselves, each returning its result.
#pragma once

#include <string>
#include <vector>

#include "tools/zflash/result.h"

enum ExitCode {
    ExitOk = 0,          // success
    ExitFailed = 1,      // the operation failed on the device (erase, verify, ...)
    ExitBadInput = 2,    // usage, missing or invalid file, image for other hardware
    ExitNoDevice = 3,    // port cannot be opened, cancelled, time-out
    ExitUnverified = 4,  // image without hardware identifier, refused without --yes
};

// One word for each exit code, as the JSON document names the outcome.
const char *OutcomeName(int exitCode);
// The exit code of a device session that failed this way.
int ExitCodeOf(FailureKind kind);

struct GlobalOptions {
    std::string root;      // folder of flashloader/ and firmware/; empty: beside the executable
    bool verbose = false;  // show the target library's trace
    bool json = false;     // one JSON document on standard output
    double timeout = 0;    // seconds to wait for the device; 0: until Ctrl-C
};

struct DeviceOptions {
    std::string port;
    std::string image;    // custom image file
    std::string version;  // listed image with this version
    bool yes = false;     // program an image that cannot be verified
};

// Each command prints as it goes (text mode) and fills in its result; the
// exit code is returned and also kept in the result.
int RunPorts(const GlobalOptions &global, const std::string &sysfsRoot, PortsResult &result);
int RunCapture(const GlobalOptions &global, const DeviceOptions &device, DeviceResult &result);
int RunProgram(const GlobalOptions &global, const DeviceOptions &device, DeviceResult &result);
int RunInspect(const GlobalOptions &global, const std::vector<std::string> &files,
               InspectResult &result);
int RunList(const GlobalOptions &global, const std::string &hw, ListResult &result);
int RunNotes(const GlobalOptions &global, const std::string &hw, NotesResult &result);
