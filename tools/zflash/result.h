// What zflash's commands found and did, as data: the JSON writer and the
// text output read these, never the log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "catalogue/firmware.h"
#include "catalogue/imagestats.h"
#include "devicelink/ports/ports.h"
#include "station/record.h"
#include "station/session.h"

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
struct PortsResult {
    std::vector<SerialPortInfo> ports;
};

using CommandBody =
    std::variant<std::monostate, DeviceResult, InspectResult, ListResult, NotesResult, PortsResult>;

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
