#include "tools/zflash/json_writer.h"

#include <nlohmann/json.hpp>

#include "station/json.h"
#include "station/record.h"
#include "tools/zflash/zflash.h"

using nlohmann::json;

namespace {

const char *const kTokens[] = {"VN:", "MD:", "HW:", "TS:", "BR:"};

json ImagesJson(const std::vector<FirmwareVersion> &list)
{
    json images = json::array();
    for (const FirmwareVersion &fw : list)
        images.push_back(ToJson(fw));
    return images;
}

json DeviceJson(const DeviceEntry &d)
{
    return {{"product", d.product}, {"hw", d.hw}, {"folder", d.folder}, {"loaderBaud", d.loaderBaud}};
}

json OptionalInfo(const std::optional<FirmwareInfo> &info)
{
    return info ? ToJson(*info) : json();
}

void Write(json &doc, const std::monostate &) { doc["timings"] = json::array(); }

void Write(json &doc, const DeviceResult &r)
{
    doc["port"] = r.port;
    if (r.device) {
        doc["device"] = DeviceJson(*r.device);
        doc["images"] = ImagesJson(r.images);
        doc["installed"] = {{"before", OptionalInfo(r.before)}, {"after", OptionalInfo(r.after)}};
    }
    if (r.image && r.imageApproved) {
        doc["programmed"] = ToJson(*r.image);
        doc["programmed"]["custom"] = r.custom;
    }
    if (r.failure.kind != FailureKind::None)
        doc["failure"] = ToJson(r.failure);
    json timings = json::array();
    for (const StepTime &t : r.timings)
        timings.push_back({{"step", StepName(t.step)}, {"seconds", t.seconds}});
    doc["timings"] = timings;
}

json InspectedJson(const InspectedImage &i)
{
    if (!i.valid)
        return {{"file", i.file}, {"valid", false}, {"reason", i.reason}};
    json tokens = json::object();
    for (const char *key : kTokens)
        tokens[std::string(key, 2)] = GetInfoToken(i.info, key);
    return {{"file", i.file},         {"valid", true},
            {"tokens", tokens},       {"address", i.address},
            {"blocks", i.blocks},     {"minBlockBytes", i.minBlock},
            {"maxBlockBytes", i.maxBlock}, {"totalBytes", i.totalBytes}};
}

void Write(json &doc, const InspectResult &r)
{
    json images = json::array();
    for (const InspectedImage &i : r.images)
        images.push_back(InspectedJson(i));
    doc["images"] = images;
    doc["timings"] = json::array();
}

void Write(json &doc, const ListResult &r)
{
    if (r.device) {
        doc["device"] = DeviceJson(*r.device);
        doc["device"]["loader"] = r.loader;
        doc["firmwareFolder"] = r.firmwareFolder;
        doc["images"] = ImagesJson(r.images);
    }
    doc["timings"] = json::array();
}

void Write(json &doc, const NotesResult &r)
{
    if (!r.hw.empty()) {
        doc["product"] = r.product;
        doc["hw"] = r.hw;
        doc["notes"] = r.notes;
    }
    doc["timings"] = json::array();
}

void Write(json &doc, const PortsResult &r)
{
    json ports = json::array();
    for (const SerialPortInfo &p : r.ports)
        ports.push_back({{"port", p.port},
                         {"driver", p.driver},
                         {"description", p.description},
                         {"usbId", p.usbId},
                         {"serial", p.serial},
                         {"byId", p.byId},
                         {"latencyTimerMs", p.latencyTimerMs > 0 ? json(p.latencyTimerMs) : json()}});
    doc["ports"] = ports;
    doc["timings"] = json::array();
}

}  // namespace

json ToJson(const CommandResult &r)
{
    json doc = json::object();
    doc["command"] = r.command;
    doc["root"] = r.root;
    std::visit([&doc](const auto &body) { Write(doc, body); }, r.body);
    const auto *device = std::get_if<DeviceResult>(&r.body);
    if (device && r.recordContext)
        doc["record"] = MakeRecord(*device, r.recordExitCode, *r.recordContext);
    doc["seconds"] = r.seconds;
    doc["exitCode"] = r.exitCode;
    doc["outcome"] = OutcomeName(r.exitCode);
    doc["log"] = r.log;
    doc["warnings"] = r.warnings;
    doc["error"] = r.error.empty() ? json() : json(r.error);
    return doc;
}
