// A fixture's units as zsim's command line gives them.
#include "tools/zsim/sim_unit_text.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <memory>
#include <sstream>

#include "targetlib/capture.h"
#include "tools/zsim/simfaults.h"

namespace {

constexpr long kMaxCount = 1000000;

// Splits at the commas that no backslash escapes; escapes stay for SimUnescape.
std::vector<std::string> SplitFields(const std::string &text)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            fields.back() += text.substr(i++, 2);
        } else if (text[i] == ',') {
            fields.emplace_back();
        } else {
            fields.back() += text[i];
        }
    }
    return fields;
}

// The "COUNT*" before the fields, when there is one: 1 else; 0 when bad.
long CountOf(std::string &text)
{
    const size_t star = text.find('*');
    if (star == std::string::npos || star == 0 ||
        !std::all_of(text.begin(), text.begin() + long(star), [](char c) { return c >= '0' && c <= '9'; }))
        return 1;
    long count = 0;
    if (!SimParseInt(text.substr(0, star), 1, kMaxCount, count))
        return 0;
    text.erase(0, star + 1);
    return count;
}

bool Firmware(const std::string &value, const SimUnitWords &words, SimUnit &u, std::string &error)
{
    u.flash.reset();
    if (value == "old") {
        u.installedInfo = words.oldInfo;
    } else if (value == "current" && !words.currentInfo.empty()) {
        u.installedInfo = words.currentInfo;
        u.flash = words.currentFlash;
    } else if (value == "blank") {
        u.installedInfo.clear();
    } else {
        error = value == "current" ? "fw=current needs --current-image, --current-info or --current-info-file"
                                   : "fw is old, current or blank, not \"" + value + "\"";
    }
    return error.empty();
}

// One KEY=VALUE into `u`; false with `error` set when it is wrong.
bool Apply(const std::string &key, const std::string &value, const SimUnitWords &words, SimUnit &u,
           std::string &error)
{
    long n = 0;
    SimFault fault;
    if (key == "info-file") {
        u.flash.reset();
        if (!SimReadTextFile(SimUnescape(value), u.installedInfo))
            error = "cannot read " + SimUnescape(value);
        return error.empty();
    }
    if (key == "image") {
        std::string flash;
        if (!SimImageFlash(SimUnescape(value), flash, u.installedInfo, error))
            return false;
        u.flash = std::make_shared<const std::string>(std::move(flash));
        return true;
    }
    if (key == "info")
        u.flash.reset();
    if (key == "name")
        u.name = SimUnescape(value);
    else if (key == "hw")
        u.hw = SimUnescape(value);
    else if (key == "fw")
        return Firmware(value, words, u, error);
    else if (key == "info")
        u.installedInfo = SimUnescape(value);
    else if (key == "mismatch" && SimParseInt(value, 0, INT_MAX, n))
        u.verifyMismatchBlock = int(n);
    else if (key == "weak" && SimParseInt(value, 0, INT_MAX, n))
        u.weakBlock = int(n);
    else if (key == "weak-passes" && SimParseInt(value, 1, INT_MAX, n))
        u.weakPasses = int(n);
    else if (key == "fault" && ParseSimFault(value, fault))
        u.faults.push_back(fault);
    else
        error = "bad " + key + "=" + value;
    return error.empty();
}

}  // namespace

bool ParseSimUnits(const std::string &text, const SimUnitWords &words, std::vector<SimUnit> &units,
                   std::string &error)
{
    std::string body = text;
    const long count = CountOf(body);
    if (count == 0) {
        error = "a count from 1 to " + std::to_string(kMaxCount) + " before '*'";
        return false;
    }
    SimUnit u;
    u.hw = words.hw;
    u.verifyMismatchBlock = words.mismatch;
    u.installedInfo = words.oldInfo;
    for (const std::string &field : SplitFields(body)) {
        const size_t eq = field.find('=');
        if (field.empty())
            continue;
        if (eq == std::string::npos) {
            error = "KEY=VALUE expected, not \"" + field + "\"";
            return false;
        }
        if (!Apply(field.substr(0, eq), field.substr(eq + 1), words, u, error))
            return false;
    }
    units.insert(units.end(), size_t(count), u);
    return true;
}

std::string SimUnescape(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

bool SimReadTextFile(const std::string &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::stringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

bool SimImageFlash(const std::string &path, std::string &flash, std::string &info, std::string &error)
{
    SetTraceHandler([](const char *) {});  // the loader's trace is not zsim's output
    std::unique_ptr<IMG> image(ReadImage(path.c_str()));
    SetTraceHandler(nullptr);
    if (!image) {
        error = path + " is no image file";
        return false;
    }
    flash.clear();
    for (const BLK &b : image->blocks)
        flash += b.data;
    info = image->info;
    return true;
}

const char *const kSimUnitSyntax =
    "Unit: [COUNT*]KEY=VALUE[,KEY=VALUE...]  (COUNT units alike; each --unit comes in line in order)\n"
    "  name=NAME     units of one name are one unit: plugged in again, it holds its flash as\n"
    "                it left it (default: #N, the N-th unit the fixture sees)\n"
    "  hw=ID         answer to Query(\"HW\") (default: --hw)\n"
    "  fw=old        installed firmware: the --info text (default)\n"
    "  fw=current    the station's image as it programs it (--current-image), or only\n"
    "                its information text (--current-info)\n"
    "  fw=blank      a blank firmware region\n"
    "  info=TEXT     this information text (\\n, \\r escapes; \\, for a comma)\n"
    "  info-file=F   the information text read from file F\n"
    "  image=F       the blocks of image file F, as programming it leaves them\n"
    "  mismatch=N    verify answers error 4 at block N, for good (default:\n"
    "                --verify-mismatch-block)\n"
    "  weak=N        block N takes its data wrongly on the first programming pass: verify\n"
    "                fails there until the region is erased and programmed again\n"
    "  weak-passes=P ... on the first P passes (default 1)\n"
    "  fault=FAULT   a fault of this unit, counted over its life (repeatable; syntax above)\n"
    "  e.g. --unit 20*fw=old --unit fw=current --unit hw=VKTQ1,fw=blank --unit weak=3\n";
