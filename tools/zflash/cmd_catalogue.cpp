// "zflash list" and "zflash notes": what the catalogue holds for a hardware
// identifier, without a device.
#include <filesystem>
#include <sstream>

#include "app/fwtext.h"
#include "app/notestext.h"
#include "app/workflows.h"
#include "catalogue/firmware.h"
#include "catalogue/hwcheck.h"
#include "catalogue/target.h"
#include "station/device_steps.h"
#include "tools/zflash/output.h"
#include "tools/zflash/zflash.h"

namespace {

std::string KnownIdentifiers()
{
    std::string ids;
    for (const Product &product : AllProducts())
        for (const HWOption &option : product.options)
            ids += (ids.empty() ? "" : ", ") + option.hw;
    return ids;
}

bool FindOption(const std::string &hw, const Product *&product, const HWOption *&option)
{
    if (FindByHW(hw, product, option))
        return true;
    PrintError("unknown hardware identifier '" + hw + "' (known: " + KnownIdentifiers() + ").");
    return false;
}

void PrintImages(const std::vector<FirmwareVersion> &images)
{
    PrintResult("Firmware:     " + std::to_string(images.size()) + " image(s), newest first");
    for (const FirmwareVersion &fw : images)
        PrintResult("  " + FirmwareListEntry(fw));
}

}  // namespace

int RunList(const GlobalOptions &, const std::string &hw, ListResult &result)
{
    const Product *product = nullptr;
    const HWOption *option = nullptr;
    if (!FindOption(hw, product, option))
        return ExitBadInput;
    const std::string loader = FlashLoaderPath(option->folder, option->flashLoader);
    const std::string folder = FirmwareFolder(option->folder);
    const unsigned baud = LoaderBaud(*option);
    std::vector<FirmwareVersion> images;
    try {
        images = DiscoverFirmware(folder);
    } catch (const std::filesystem::filesystem_error &e) {
        PrintError("cannot read " + folder + ": " + e.what());
        return ExitBadInput;
    }
    PrintResult("Product:      " + ModelHW(product->name, option->hw));
    PrintResult("Folder:       " + option->folder);
    PrintResult("Flash loader: " + loader +
                (baud ? "  (" + std::to_string(baud) + " baud)" : "  (missing or corrupt)"));
    PrintResult("Images in:    " + folder);
    PrintImages(images);
    result.device = EntryOf(*product, *option, baud);
    result.loader = loader;
    result.firmwareFolder = folder;
    result.images = images;
    return ExitOk;
}

int RunNotes(const GlobalOptions &, const std::string &hw, NotesResult &result)
{
    const Product *product = nullptr;
    const HWOption *option = nullptr;
    if (!FindOption(hw, product, option))
        return ExitBadInput;
    std::string bytes;
    if (!ReadReleaseNotes(*option, bytes)) {
        PrintError(std::string(kNoReleaseNotes) + " (" + ReleaseNotesPath(option->folder) + ")");
        return ExitBadInput;
    }
    const std::string notes = WithoutCarriageReturns(bytes);  // the console's own line ends
    std::istringstream lines(notes);
    for (std::string line; std::getline(lines, line);)
        PrintResult(line);
    result.product = product->name;
    result.hw = option->hw;
    result.notes = notes;
    return ExitOk;
}
