// Release notes: read whole, and their line ends for the edit control or a console.
#include "app/notestext.h"

#include <fstream>
#include <sstream>

#include "app/workflows.h"
#include "targetlib/utf8path.h"

const char *const kNoReleaseNotes = "No release notes are included for this product.";

bool ReadReleaseNotes(const HWOption &hw, std::string &bytes)
{
    std::ifstream in;
    OpenForReading(in, ReleaseNotesPath(hw.folder));
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return false;
    bytes = text.str();
    return true;
}

std::string ToEditLineEnds(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n')
            out += "\r\n";
        else
            out.push_back(c);
    }
    return out;
}

std::string WithoutCarriageReturns(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r')
            out.push_back(c);
    return out;
}
