// Line ends of release notes for a multi-line edit control.
#include "app/notestext.h"

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
