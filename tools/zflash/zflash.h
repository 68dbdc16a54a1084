// What every zflash command shares: the exit codes and the global options.
#pragma once

#include <string>
#include <vector>

enum ExitCode {
    ExitOk = 0,          // success
    ExitFailed = 1,      // the operation failed on the device (erase, verify, ...)
    ExitBadInput = 2,    // usage, missing or invalid file, image for other hardware
    ExitNoDevice = 3,    // port cannot be opened, cancelled, time-out
    ExitUnverified = 4,  // image without hardware identifier, refused without --yes
};

// One word for each exit code, as the JSON document names the outcome.
const char *OutcomeName(int exitCode);

struct GlobalOptions {
    std::string root;      // folder of flashloader/ and firmware/; empty: ChooseRootDir decides
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

int RunPorts(const GlobalOptions &global, const std::string &sysfsRoot);
int RunCapture(const GlobalOptions &global, const DeviceOptions &device);
int RunProgram(const GlobalOptions &global, const DeviceOptions &device);
int RunInspect(const GlobalOptions &global, const std::vector<std::string> &files);
int RunList(const GlobalOptions &global, const std::string &hw);
int RunNotes(const GlobalOptions &global, const std::string &hw);
