#include "tools/zflash/records/record_entry.h"

#include "targetlib/sha256.h"
#include "tools/zflash/terminal_text.h"

using nlohmann::json;

namespace {

// Replaces NUL characters in every text of `j`; whether it found one.
bool ReplaceNuls(json &j)
{
    bool found = false;
    if (j.is_string()) {
        std::string &text = j.get_ref<std::string &>();
        for (size_t at; (at = text.find('\0')) != std::string::npos;) {
            text.replace(at, 1, "\xEF\xBF\xBD");
            found = true;
        }
    } else if (j.is_structured()) {
        for (json &item : j)
            found = ReplaceNuls(item) || found;
    }
    return found;
}

bool IsText(const json &j, const char *key)
{
    return j.contains(key) && j[key].is_string();
}

}  // namespace

RecordEntry ReadRecordEntry(const std::string &raw)
{
    RecordEntry e;
    const std::string line = !raw.empty() && raw.back() == '\r' ? raw.substr(0, raw.size() - 1) : raw;
    if (!IsUtf8(line)) {
        e.problem = "not UTF-8";
        return e;
    }
    try {
        e.entry = json::parse(line);
    } catch (const json::exception &error) {
        e.problem = std::string("not JSON (") + error.what() + ")";
        return e;
    }
    const json &j = e.entry;
    const std::string event = j.is_object() && IsText(j, "event") ? j["event"].get<std::string>() : std::string();
    if (!j.is_object() || !j.contains("schema") || !j["schema"].is_number() || !IsText(j, "time"))
        e.problem = "not a record (no schema or time)";
    else if (!event.empty() && event != "start" && event != "end")
        e.problem = "not a record (event \"" + event + "\")";
    else if (event != "start" && !IsText(j, "result"))
        e.problem = "not a record (no result)";
    if (!e.problem.empty()) {
        e.entry = json();
        return e;
    }
    e.start = event == "start";
    const std::string session = IsText(j, "session") ? j["session"].get<std::string>() : std::string();
    e.session = !session.empty() && session.size() <= 128 ? session : Sha256Hex(line.data(), line.size());
    ReplaceNuls(e.entry);
    return e;
}
