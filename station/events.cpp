#include "station/events.h"

using nlohmann::json;

namespace {

const struct {
    EventKind kind;
    const char *name;
} kNames[] = {
    {EventKind::Step, "step"},       {EventKind::Progress, "progress"}, {EventKind::Erase, "erase"},
    {EventKind::Device, "device"},   {EventKind::Session, "session"},   {EventKind::Record, "record"},
    {EventKind::Start, "start"},
    {EventKind::Adapter, "adapter"},
    {EventKind::Log, "log"},         {EventKind::Trace, "trace"},       {EventKind::Error, "error"},
    {EventKind::Warning, "warning"}, {EventKind::Notice, "notice"},
};

const char *NameOf(EventKind kind)
{
    for (const auto &n : kNames)
        if (n.kind == kind)
            return n.name;
    return "";
}

EventKind KindOf(const std::string &name)
{
    for (const auto &n : kNames)
        if (name == n.name)
            return n.kind;
    return EventKind::Unknown;
}

Event Fields(const json &j)
{
    Event e;
    e.kind = KindOf(j["event"].get<std::string>());
    e.step = StepOfName(j.value("step", ""));
    e.percent = j.value("percent", 0);
    e.bytes = j.value("bytes", 0.0);
    e.seconds = j.value("seconds", 0.0);
    e.busy = j.value("busy", false);
    e.present = j.value("present", false);
    e.product = j.value("product", "");
    e.hw = j.value("hw", "");
    e.text = j.value("text", "");
    if (j.contains("record"))
        e.record = j["record"];
    return e;
}

}  // namespace

std::string EventLine(const Event &e)
{
    json j = {{"event", NameOf(e.kind)}};
    switch (e.kind) {
    case EventKind::Step:
        j["step"] = StepName(e.step);
        break;
    case EventKind::Progress:
        j.update({{"step", StepName(e.step)}, {"percent", e.percent}, {"bytes", e.bytes}, {"seconds", e.seconds}});
        break;
    case EventKind::Erase:
        j["busy"] = e.busy;
        break;
    case EventKind::Device:
        j.update({{"product", e.product}, {"hw", e.hw}});
        break;
    case EventKind::Adapter:
        j["present"] = e.present;
        break;
    case EventKind::Session:
    case EventKind::Start:
    case EventKind::Record:
        j["record"] = e.record;
        break;
    case EventKind::Unknown:
        break;
    default:
        j["text"] = e.text;
        break;
    }
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

Event ParseEvent(const std::string &line)
{
    Event e;
    const json j = json::parse(line, nullptr, false);
    if (!j.is_object() || !j.contains("event") || !j["event"].is_string())
        return e;
    try {
        return Fields(j);
    } catch (const json::exception &) {
        return e;  // a field of the wrong type: no event
    }
}

Event TextEvent(EventKind kind, const std::string &text)
{
    Event e;
    e.kind = kind;
    e.text = text;
    return e;
}

Event RecordEvent(EventKind kind, const json &record)
{
    Event e;
    e.kind = kind;
    e.record = record;
    return e;
}
