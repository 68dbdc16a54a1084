// What every zflash command shares: the exit codes, the options and the
// commands themselves, each returning its result.
#pragma once

#include <string>
#include <vector>

#include "devicelink/ports/port_roots.h"
#include "tools/zflash/progress.h"
#include "station/exitcodes.h"
#include "tools/zflash/result.h"

struct GlobalOptions {
    std::string root;      // folder of flashloader/ and firmware/; empty: found (rootdir.h)
    bool verbose = false;  // show the target library's trace
    bool json = false;     // one JSON document on standard output
    double timeout = 0;    // seconds to wait for the device; 0: until Ctrl-C
    double deadline = 0;   // seconds a whole device session may take; 0: no bound
    std::string log;       // file that gets one record per device session (JSON Lines)
    std::string progress = "auto";  // auto, bar, plain, none
    bool events = false;   // a gang's worker: events on standard output
    long supervisor = 0;   // a worker: the process id of the supervisor that started it
    // Who works at this station, and for what: in every record.
    std::string station;   // --station NAME; empty: the host's name
    std::string operatorName;  // --operator NAME
    std::string workOrder;     // --work-order ID
};

struct DeviceOptions {
    std::vector<std::string> ports;  // as given: names, links, selectors
    std::string port;                // the one port of this session
    std::string adapter;             // USB serial number of its adapter, where known
    std::string image;               // custom image file
    std::string expectSha256;        // the image's digest must be this (--expect-sha256; a supervisor passes its check on)
    std::string version;             // listed image with this version ("1.9.7" or "v1.9.7")
    bool yes = false;                // program an image that cannot be verified
    bool skipIfCurrent = false;      // verify instead when the device holds the image already
    int retries = 0;                 // program again after a lost reply or a verify mismatch
    int count = 0;                   // station: units to take in all; 0: no bound
    std::string metrics;             // station, several ports: serve metrics on ADDRESS:PORT
};

// Each command prints as it goes (text mode) and fills in its result; the
// exit code is returned and also kept in the result.
int RunPorts(const GlobalOptions &global, const PortRoots &roots, PortsResult &result);
// capture, program or verify on several ports at once: one worker process
// each, supervised by this one (gang.cpp).
class SupervisorObserver;
int RunGang(const std::string &command, const GlobalOptions &global, const DeviceOptions &device,
            const std::string &sysfsRoot, ProgressStyle progress, SupervisorObserver *observer);
// station: one worker process per port, each taking unit after unit, and
// their supervisor (station.cpp); the worker's own loop.
int RunStation(const GlobalOptions &global, const DeviceOptions &device, const std::string &sysfsRoot,
               ProgressStyle progress, SupervisorObserver *observer);
struct SessionOptions;
int RunStationWorker(const SessionOptions &options, const GlobalOptions &global, int count, CommandResult &result);
// records ingest: records files into the database (records/).
int RunRecordsIngest(const std::string &url, const std::vector<std::string> &files, bool follow);
int RunInspect(const GlobalOptions &global, const std::vector<std::string> &files,
               InspectResult &result);
int RunList(const GlobalOptions &global, const std::string &hw, ListResult &result);
int RunNotes(const GlobalOptions &global, const std::string &hw, NotesResult &result);
