#include "station/json.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

json ToJson(const FirmwareVersion &fw)
{
    return {{"file", fw.fileName}, {"path", fw.path}, {"version", fw.version},
            {"model", fw.model},   {"hw", fw.hw},     {"unverified", !fw.hasHW}};
}

json ToJson(const FirmwareInfo &info)
{
    return {{"version", info.version}, {"model", info.model}, {"hw", info.hw}, {"built", info.built}};
}

json ToJson(const Failure &f)
{
    json doc = {{"kind", FailureKindName(f.kind)}, {"step", StepName(f.step)}, {"message", f.message},
                {"detail", f.detail}, {"file", f.file}};
    doc["block"] = f.block >= 0 ? json(f.block) : json();
    doc["deviceError"] = f.deviceError >= 0 ? json(f.deviceError) : json();
    return doc;
}

