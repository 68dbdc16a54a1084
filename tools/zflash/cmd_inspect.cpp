// "zflash inspect": image files checked offline, as the target library loads them.
#include <cstdio>

#include "catalogue/firmware.h"
#include "catalogue/hwcheck.h"
#include "catalogue/target.h"
#include "catalogue/imagestats.h"
#include "tools/zflash/output.h"
#include "tools/zflash/zflash.h"

namespace {

const char *const kTokens[] = {"VN:", "MD:", "HW:", "TS:", "BR:"};

std::string Hex32(uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(value));
    return buf;
}

// "VKT3K (VKT-3)" for a known identifier, "VKT9 (not a known product)" otherwise.
std::string HardwareText(const std::string &hw)
{
    if (hw.empty())
        return "(none: cannot be checked against a device)";
    const Product *product = nullptr;
    const HWOption *option = nullptr;
    if (!FindByHW(hw, product, option))
        return hw + "  (not a known product)";
    return hw + "  (" + product->name + ")";
}

void PrintValid(const InspectedImage &stats)
{
    PrintResult(stats.file + ": valid");
    for (const char *key : kTokens) {
        std::string value = GetInfoToken(stats.info, key);
        if (std::string(key) == "HW:")
            value = HardwareText(value);
        PrintResult(std::string("  ") + key + " " + (value.empty() ? "(none)" : value));
    }
    PrintResult("  start address: " + Hex32(stats.address));
    std::string sizes = stats.minBlock == stats.maxBlock
                            ? std::to_string(stats.maxBlock) + " bytes each"
                            : std::to_string(stats.minBlock) + " to " + std::to_string(stats.maxBlock) + " bytes";
    PrintResult("  blocks:        " + std::to_string(stats.blocks) + (stats.blocks ? " (" + sizes + ")" : ""));
    PrintResult("  total:         " + std::to_string(stats.totalBytes) + " bytes");
}

}  // namespace

int RunInspect(const GlobalOptions &, const std::vector<std::string> &files, InspectResult &result)
{
    int code = ExitOk;
    for (const std::string &file : files) {
        InspectedImage image;
        image.file = file;
        InspectImage(image);
        if (image.valid) {
            PrintValid(image);
        } else {
            PrintResult(file + ": invalid: " + image.reason);
            code = ExitBadInput;
        }
        result.images.push_back(image);
    }
    return code;
}
