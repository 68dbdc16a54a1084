// Several device sessions at once: one worker process per port (zflash
// itself, in its events mode), supervised here. The workers keep the target
// library's one port per process and send their events (events.h); the
// supervisor writes every record (one writer: none lost, none twice, also for
// a worker that died), each session's start before the worker may write its
// device, puts back an adapter's latency timer that a dead worker left
// lowered, forwards Ctrl-C, SIGTERM and SIGHUP, and sums up. Records that
// cannot be written stop the taking of units at once. What it shows, and
// how, is its view's business.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "app/outcome.h"

// What the supervisor knows of one port's session as it goes.
struct PortState {
    std::string port;
    std::string device;      // "VKT-3 (VKT3K)" once identified
    WorkStep step = WorkStep::None;  // what it is doing
    int percent = -1;        // of the step; -1: the step has no percentage
    double bytesPerSecond = 0;
    bool finished = false;
    int exitCode = -1;
    double seconds = 0;      // since it started, or its whole time once finished
    // From the session's record, once there is one (empty before); a
    // station's port: from its last unit's.
    std::string result;      // "ok", "failed", ...
    std::string failureKind; // "verify-mismatch", ...
    std::string before, after;  // installed versions
    double unitSeconds = 0;  // the last unit's time
    // A station's port: its units so far, and whether its adapter is there.
    int unitsOk = 0, unitsCurrent = 0, unitsFailed = 0;
    int firstPass = 0;       // ok at the first attempt, or current
    bool adapterGone = false;
    bool busy = false;       // a unit is under way (identified, its record not yet in)
};

// A worker as the supervisor sees it: a process of this program in its
// events mode (the default), or a test's stand-in.
class WorkerProcess {
public:
    virtual ~WorkerProcess() = default;
    virtual bool Start(const std::vector<std::string> &args, std::string &error) = 0;
    virtual long Read(char *buffer, size_t size) = 0;  // blocks; 0 once its output ended
    virtual bool Write(const std::string &line) = 0;   // to its standard input
    virtual void Interrupt(bool terminate) = 0;         // Ctrl-C, or SIGTERM
    virtual void Kill() = 0;
    virtual int Wait() = 0;              // its exit code; -1 when it did not exit by itself
    virtual int EndSignal() const = 0;   // after Wait: the signal that ended it, else 0
};

// How a front end shows the sessions. Called on the supervisor's thread.
class SupervisorView {
public:
    virtual ~SupervisorView() = default;
    virtual void Log(const PortState &port, const std::string &line) = 0;       // the operator's log
    virtual void Problem(const PortState &port, const std::string &text) = 0;   // errors, warnings, notices
    virtual void Progress(size_t index, const PortState &port) = 0;             // a progress event came
    virtual void Finished(const PortState &port) = 0;
    virtual void Draw(const std::vector<PortState> &ports) = 0;                 // about ten times a second
    virtual void Done(const std::vector<PortState> &ports, const std::vector<nlohmann::json> &records) = 0;
    // A session's record came (a station's port: one for each unit).
    virtual void Record(size_t /*index*/, const PortState & /*port*/, const nlohmann::json & /*record*/) {}
};

// Told of every record and of the ports' states as they change (the live
// metrics). Called on the supervisor's thread, beside the view.
class SupervisorObserver {
public:
    virtual ~SupervisorObserver() = default;
    virtual void Recorded(size_t index, const PortState &port, const nlohmann::json &record) = 0;
    virtual void PortsNow(const std::vector<PortState> &ports) = 0;  // about ten times a second
};

struct WorkerSpec {
    std::string port;
    std::vector<std::string> args;  // for this executable, in its events mode
};

struct SupervisorSettings {
    std::string logPath;    // --log FILE; empty: no file
    std::string sysfsRoot;  // where Linux shows its devices (adapters' timers)
    int (*takeInterrupts)() = nullptr;  // Ctrl-C presses (and SIGTERM, SIGHUP) since the last call
    bool (*terminated)() = nullptr;     // one of them was SIGTERM or SIGHUP
    // The process must end within seconds (Windows: the console closed, the
    // user logs off, the system shuts down): the workers are stopped at once
    // and every unit under way is recorded as interrupted.
    bool (*endingNow)() = nullptr;
    // Stand-ins for tests: the workers' processes, and the appending of an
    // entry to the records (default: a process of this program, and the
    // --log file).
    std::function<std::unique_ptr<WorkerProcess>()> makeWorker;
    std::function<bool(const nlohmann::json &entry, std::string &error)> appendRecord;
    // A station: each worker takes unit after unit. With `count` (0: no
    // bound) its workers ask before taking an identified unit, so exactly
    // `count` units are taken in all (those under way are finished).
    bool station = false;
    int count = 0;
    SupervisorObserver *observer = nullptr;
};

// Runs every worker to its end; the exit code: the highest of the workers',
// at least 1 when a unit failed (the summary's "failed"), at least
// ExitRecordLost when an entry could not be written.
int Supervise(const std::vector<WorkerSpec> &workers, const SupervisorSettings &settings, SupervisorView &view);
