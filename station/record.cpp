#include "station/record.h"

#include <ctime>
#include <nlohmann/json.hpp>
#include <random>

#include "station/exitcodes.h"
#include "station/json.h"
#include "station/record_file.h"
#include "zf_version.h"

using nlohmann::json;

namespace {

// Every key there, empty where the firmware is not known.
json Firmware(const std::optional<FirmwareInfo> &info)
{
    return ToJson(info ? *info : FirmwareInfo());
}

// Seconds per phase (a phase met twice, as the query before and after, adds
// up), and the whole session.
json Seconds(const std::vector<StepTime> &timings)
{
    json seconds = json::object();
    double total = 0;
    for (const StepTime &t : timings) {
        const char *name = StepName(t.step);
        seconds[name] = seconds.value(name, 0.0) + t.seconds;
        total += t.seconds;
    }
    seconds["total"] = total;
    return seconds;
}

RecordIdentity identity;

// The keys of start and end alike.
json Common(const char *event, const std::string &session, const std::string &port, const RecordContext &context)
{
    json entry = json::object();
    entry["schema"] = kRecordSchema;
    entry["event"] = event;
    entry["session"] = session.empty() ? NewSessionId() : session;
    entry["time"] = context.time;
    entry["tool_version"] = context.toolVersion;
    entry["station"] = context.station;
    entry["operator"] = context.operatorName;
    entry["work_order"] = context.workOrder;
    entry["port"] = port;
    entry["adapter"] = context.adapter;
    return entry;
}

json Device(const DeviceResult &r)
{
    return {{"product", r.device ? r.device->product : std::string()}, {"hw", r.device ? r.device->hw : std::string()}};
}

json Image(const DeviceResult &r)
{
    return {{"file", r.image ? r.image->fileName : std::string()},
            {"version", r.image ? r.image->version : std::string()},
            {"sha256", r.image ? r.image->sha256 : std::string()}};
}

}  // namespace

void SetRecordIdentity(const RecordIdentity &newIdentity)
{
    identity = newIdentity;
}

std::string NewSessionId()
{
    // Ids of many stations meet in one database: 128 bits from the system's
    // random source make a clash beyond reckoning.
    static std::random_device source;
    static const char digits[] = "0123456789abcdef";
    std::string id;
    for (int word = 0; word < 4; ++word) {
        uint32_t bits = source();
        for (int i = 0; i < 8; ++i, bits >>= 4)
            id += digits[bits & 15];
    }
    return id;
}

std::string EntryEvent(const json &entry)
{
    if (entry.is_object() && entry.contains("event") && entry["event"].is_string())
        return entry["event"].get<std::string>();
    return "end";
}

const char *RecordResult(const DeviceResult &r, int exitCode)
{
    if (exitCode == ExitOk)
        return r.current ? "current" : "ok";
    switch (r.failure.kind) {
    case FailureKind::Interrupted: return "interrupted";
    case FailureKind::Reseated: return "reseated";
    case FailureKind::Cancelled: return "cancelled";
    case FailureKind::RecordUnwritable: return "bad-input";
    case FailureKind::PortOpenFailed:
    case FailureKind::TimedOut: return "no-device";
    default: break;
    }
    return exitCode == ExitBadInput || exitCode == ExitUnverified ? "bad-input" : "failed";
}

json MakeStartEntry(const DeviceResult &r, const RecordContext &context)
{
    json entry = Common("start", r.session, r.port, context);
    entry["device"] = Device(r);
    entry["before"] = Firmware(r.before);
    entry["image"] = Image(r);
    return entry;
}

json MakeRecord(const DeviceResult &r, int exitCode, const RecordContext &context)
{
    json record = Common("end", r.session, r.port, context);
    record["device"] = Device(r);
    record["before"] = Firmware(r.before);
    record["after"] = Firmware(r.after);
    record["image"] = Image(r);
    record["result"] = RecordResult(r, exitCode);
    record["failure"] = {{"kind", exitCode == ExitOk ? "" : FailureKindName(r.failure.kind)},
                         {"detail", exitCode == ExitOk ? std::string() : r.failure.message.empty()
                                                                             ? r.failure.detail
                                                                             : r.failure.message}};
    record["attempts"] = r.attempts;
    record["exit_code"] = exitCode;
    record["seconds"] = Seconds(r.timings);
    return record;
}

DeviceWork DeviceWorkOf(const std::vector<StepTime> &steps)
{
    const auto writes = [](WorkStep step) {
        return step == WorkStep::Erase || step == WorkStep::Program || step == WorkStep::Verify;
    };
    const WorkStep last = steps.empty() ? WorkStep::None : steps.back().step;
    if (writes(last))
        return DeviceWork::BeingWritten;
    for (const StepTime &s : steps)
        if (writes(s.step))
            return DeviceWork::Written;
    if (last == WorkStep::None || last == WorkStep::OpenPort || last == WorkStep::WaitDevice)
        return DeviceWork::NotCaptured;
    return DeviceWork::NothingWritten;
}

std::string EarlyEndSentence(const std::string &why, const std::vector<StepTime> &steps, const std::string &redo)
{
    switch (DeviceWorkOf(steps)) {
    case DeviceWork::BeingWritten:
        return why + " while the device was being written: it may be left without working firmware. " + redo;
    case DeviceWork::Written:
        return why + " after the device was written; whether it was verified is not known.";
    case DeviceWork::NotCaptured:
        return why + " before a device was captured: nothing was written.";
    case DeviceWork::NothingWritten:
        break;
    }
    return why + " before anything was written to the device.";
}

json LostWorkerRecord(const json &sofar, const std::string &port, const std::string &why,
                      const std::vector<StepTime> &timings, const RecordContext &context)
{
    DeviceResult lost;
    lost.port = port;
    lost.failure.kind = FailureKind::Interrupted;
    lost.failure.step = timings.empty() ? WorkStep::None : timings.back().step;
    lost.failure.message = why;
    lost.timings = timings;
    json record = MakeRecord(lost, ExitFailed, context);
    for (const char *known : {"adapter", "device", "before", "image", "session"})
        if (sofar.is_object() && sofar.contains(known))
            record[known] = sofar[known];
    // Programmed as often as the worker had begun to (the session so far
    // counts the pass under way).
    if (sofar.is_object() && sofar.contains("attempts") && sofar["attempts"].is_number_integer())
        record["attempts"] = sofar["attempts"];
    return record;
}

std::string RecordLine(const json &record)
{
    return record.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    // Only the main thread asks, so gmtime's shared result is safe here.
    const std::tm *utc = std::gmtime(&now);  // NOLINT(concurrency-mt-unsafe)
    char text[32] = "";
    if (utc)
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

RecordContext RecordContextNow(const std::string &adapter)
{
    return RecordContext{UtcNow(),
                         ZF_VERSION,
                         identity.station.empty() ? StationName() : identity.station,
                         adapter,
                         identity.operatorName,
                         identity.workOrder};
}
