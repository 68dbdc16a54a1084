// One device session as data: what it found, what it wrote and how it
// ended. The record, the JSON document and the displays read these, never a
// log line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/outcome.h"
#include "catalogue/firmware.h"

// The identified device, or the catalogue entry of a hardware identifier.
struct DeviceEntry {
    std::string product, hw, folder;
    unsigned loaderBaud = 0;  // 0: the flash loader does not load
};

struct StepTime {
    WorkStep step = WorkStep::None;
    double seconds = 0;
};

// capture and program: one device session.
struct DeviceResult {
    std::string session;                      // the session's id in its records; empty: not on record yet
    std::string port;
    std::optional<DeviceEntry> device;
    std::vector<FirmwareVersion> images;      // listed for the device, newest first
    std::optional<FirmwareInfo> before;       // installed firmware before; none: not read
    std::optional<FirmwareInfo> after;        // and after programming
    // The image of the session, as far as it is known: the one read, judged
    // and then programmed or verified; or the file or version refused.
    std::optional<FirmwareVersion> image;
    bool imageApproved = false;               // judged fit for the device: programmed or verified
    bool custom = false;                      // the image is the custom image
    bool current = false;                     // the device held the image already: verified only
    int attempts = 0;                         // times the image was programmed (erase, program, verify)
    Failure failure;                          // kind None on success
    std::vector<StepTime> timings;
};

