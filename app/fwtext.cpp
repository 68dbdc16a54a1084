#include "app/fwtext.h"

std::string FirmwareListEntry(const FirmwareVersion &fw)
{
    std::string entry = fw.fileName;
    if (!fw.version.empty())
        entry += "  (v" + fw.version + ")";
    if (!fw.hasHW)
        entry += "  [unverified]";
    return entry;
}

std::string ProgrammingLogLine(const FirmwareVersion &fw, bool custom)
{
    std::string line = "Programming " + fw.fileName;
    if (!fw.version.empty())
        line += " (version " + fw.version + ")";
    if (custom)
        line += " [custom]";
    return line + "...";
}
