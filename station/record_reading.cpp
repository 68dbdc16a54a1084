#include "station/record_reading.h"

#include <nlohmann/json.hpp>

#include "station/record.h"

using nlohmann::json;

namespace {

const json *Member(const json &j, const char *key)
{
    if (!j.is_object())
        return nullptr;
    const auto found = j.find(key);
    return found == j.end() ? nullptr : &*found;
}

std::string Text(const json &j, const char *key)
{
    const json *v = Member(j, key);
    return v && v->is_string() ? v->get<std::string>() : std::string();
}

std::string TextIn(const json &j, const char *object, const char *key)
{
    const json *o = Member(j, object);
    return o ? Text(*o, key) : std::string();
}

bool IsInteger(const json *v) { return v && v->is_number_integer(); }

}  // namespace

RecordReading ReadRecord(const json &record)
{
    RecordReading r;
    r.event = EntryEvent(record);
    r.session = Text(record, "session");
    r.result = Text(record, "result");
    r.failureKind = TextIn(record, "failure", "kind");
    r.before = TextIn(record, "before", "version");
    r.after = TextIn(record, "after", "version");
    const json *attempts = Member(record, "attempts");
    r.attempts = IsInteger(attempts) ? attempts->get<int>() : 0;
    const json *code = Member(record, "exit_code");
    r.exitCode = IsInteger(code) ? code->get<int>() : -1;
    const json *seconds = Member(record, "seconds");
    const json *total = seconds ? Member(*seconds, "total") : nullptr;
    r.seconds = total && total->is_number() ? total->get<double>() : 0;
    return r;
}

bool WellFormedRecord(const json &record)
{
    if (!record.is_object() || EntryEvent(record) != "end")
        return false;
    for (const char *text : {"time", "tool_version", "station", "port", "adapter", "result"})
        if (!Member(record, text) || !Member(record, text)->is_string())
            return false;
    for (const char *object : {"device", "before", "after", "image", "failure", "seconds"})
        if (!Member(record, object) || !Member(record, object)->is_object())
            return false;
    return IsInteger(Member(record, "attempts")) && IsInteger(Member(record, "exit_code")) &&
           !Text(record, "result").empty();
}

bool ResultIsUnit(const std::string &result)
{
    return result != "cancelled" && result != "no-device" && result != "reseated";
}

bool FirstPass(const RecordReading &r)
{
    return r.result == "current" || (r.result == "ok" && r.attempts <= 1);
}
