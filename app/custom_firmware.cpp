// The custom ("hotfix") image: judged when the operator gives it, kept as the
// loaded image when it is one and carries a hardware identifier, and checked
// against the captured device whenever that may have changed.
#include <utility>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"

namespace {

const char *const kRefusedCaption = "Cannot load firmware";
const char *const kNotAnImage =
    "That file is not a valid Zelvo firmware image.\n\n"
    "It is either not a firmware file, or it was damaged in transit.";
const char *const kNoIdentifier =
    "That firmware image carries no Model/HW identifier, so it cannot be checked against the "
    "connected device.\n\n"
    "Custom firmware supplied by Zelvo always carries these identifiers. Please request an "
    "updated file.";

void LogLoaded(const FirmwareVersion &fw)
{
    Log("Custom firmware loaded: " + fw.fileName);
    std::string target = "    for " + ModelHW(fw.model, fw.hw);
    if (!fw.version.empty())
        target += "  v" + fw.version;
    Log(target);

    // A capture may be publishing the device right now: read each pointer once.
    const Product *prod = g_prod;
    const HWOption *hw = g_hw;
    if (prod && hw && !g_customValid)
        Log("    WARNING: does not match the connected " + ModelHW(prod->name, hw->hw) + ".");
}

// The file's tokens; false when it does not load as an image, or reading it
// fails in any other way (memory).
bool ReadCustomInfo(const std::string &path, FirmwareVersion &fw) noexcept
{
    try {
        return ReadFirmwareInfo(path, fw);
    } catch (...) {
        return false;
    }
}

}  // namespace

CustomJudgement JudgeCustomRead(bool loaded, const FirmwareVersion &read)
{
    CustomJudgement j;
    j.caption = kRefusedCaption;
    if (!loaded) {
        j.verdict = CustomJudgement::NotAnImage;
        j.text = kNotAnImage;
    } else if (!read.hasHW) {
        j.verdict = CustomJudgement::NoIdentifier;
        j.text = kNoIdentifier;
    } else {
        j.verdict = CustomJudgement::Accepted;
    }
    return j;
}

CustomJudgement JudgeCustomImage(const std::string &path, FirmwareVersion &fw)
{
    FirmwareVersion read;
    const CustomJudgement j = JudgeCustomRead(ReadCustomInfo(path, read), read);
    if (j.verdict == CustomJudgement::Accepted)
        std::swap(fw, read);
    return j;
}

void AdoptCustomFirmware(const FirmwareVersion &fw)
{
    FirmwareVersion copy = fw;
    std::swap(g_customFw, copy);  // every field at once, or none
    g_customLoaded = true;
    ValidateCustom();
    RefreshCustomUi();
    LogLoaded(g_customFw);
}

// Runs on the window thread inside a message handler, so nothing may escape:
// memory running out part-way leaves the state consistent (the image is
// adopted whole or not at all, and judged valid only by a finished check).
void LoadCustomFirmware(const std::string &path)
{
    try {
        FirmwareVersion fw;
        const CustomJudgement j = JudgeCustomImage(path, fw);
        if (j.verdict != CustomJudgement::Accepted) {
            AppMessageBox(j.text, j.caption, BoxIconError | BoxOk);
            return;
        }
        AdoptCustomFirmware(fw);
    } catch (...) {
        // Nothing left to report with.
    }
}

void ValidateCustom()
{
    g_customValid = false;
    const Product *prod = g_prod;
    const HWOption *hw = g_hw;
    if (!g_customLoaded || !prod || !hw)
        return;
    try {
        std::string message;
        g_customValid = CheckFirmwareHW(g_customFw, *prod, *hw, message) == HWMatch;
    } catch (...) {
        // Not judged, so not valid.
    }
}
