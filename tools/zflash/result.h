// What zflash's commands found and did, as data: the JSON writer and the
// text output read these, never the log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
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
    Failure failure;                          // kind None on success
    std::vector<StepTime> timings;
};

// inspect: one entry per file.
struct InspectedImage {
    std::string file;
    bool valid = false;
    std::string reason;  // why it is not valid
    std::string info;    // information text
    uint32_t address = 0;
    size_t blocks = 0, minBlock = 0, maxBlock = 0;
    uint64_t totalBytes = 0;
};
struct InspectResult {
    std::vector<InspectedImage> images;
};

// list: what the catalogue offers for a hardware identifier.
struct ListResult {
    std::optional<DeviceEntry> device;
    std::string loader;          // path of the flash loader
    std::string firmwareFolder;
    std::vector<FirmwareVersion> images;
};

// notes: the release notes of a hardware identifier.
struct NotesResult {
    std::string product, hw;
    std::string notes;  // without CR bytes
};

// ports: what --port can name.
struct SerialPortInfo {
    std::string port;         // what --port takes: /dev/ttyUSB0, COM3
    std::string driver;       // kernel driver (Linux) or device object (Windows)
    std::string description;  // USB manufacturer and product (Windows: the friendly name), where known
    std::string usbId;        // "0403:6001", where known
    std::string serial;       // USB serial number, where known
    std::string byId;         // Linux: its stable name in /dev/serial/by-id, where there is one
    int latencyTimerMs = 0;   // its adapter's latency timer; 0: none that can be read
};
struct PortsResult {
    std::vector<SerialPortInfo> ports;
};

using CommandBody =
    std::variant<std::monostate, DeviceResult, InspectResult, ListResult, NotesResult, PortsResult>;

// Who wrote a device session's record, and when (see record.h).
struct RecordContext {
    std::string time;         // UTC, ISO 8601, when the session ended
    std::string toolVersion;
    std::string station;      // host name
    std::string adapter;      // USB serial number of the port's adapter, where known
};

// One run of zflash.
struct CommandResult {
    std::string command;  // "program", ...
    std::string root;     // where flashloader/ and firmware/ were looked for
    int exitCode = 0;
    double seconds = 0;
    std::vector<std::string> log;       // the operator's log lines
    std::vector<std::string> warnings;
    std::string error;                  // the first error; empty: none
    CommandBody body;
    std::optional<RecordContext> recordContext;  // a device session's record is made
    int recordExitCode = 0;                      // the session's exit code, as its record gives it
};
