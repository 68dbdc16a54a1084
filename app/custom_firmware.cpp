// The custom ("hotfix") image: judged when the operator gives it, kept as the
// loaded image when it is one and carries a hardware identifier, and checked
// against the captured device whenever that may have changed.
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

}  // namespace

CustomJudgement JudgeCustomImage(const std::string &path, FirmwareVersion &fw)
{
    CustomJudgement j;
    j.caption = kRefusedCaption;
    FirmwareVersion read;
    if (!ReadFirmwareInfo(path, read)) {
        j.verdict = CustomJudgement::NotAnImage;
        j.text = kNotAnImage;
    } else if (!read.hasHW) {
        j.verdict = CustomJudgement::NoIdentifier;
        j.text = kNoIdentifier;
    } else {
        j.verdict = CustomJudgement::Accepted;
        fw = read;
    }
    return j;
}

void AdoptCustomFirmware(const FirmwareVersion &fw)
{
    g_customFw = fw;
    g_customLoaded = true;
    ValidateCustom();
    RefreshCustomUi();
    LogLoaded(fw);
}

void LoadCustomFirmware(const std::string &path)
{
    FirmwareVersion fw;
    const CustomJudgement j = JudgeCustomImage(path, fw);
    if (j.verdict != CustomJudgement::Accepted) {
        AppMessageBox(j.text, j.caption, BoxIconError | BoxOk);
        return;
    }
    AdoptCustomFirmware(fw);
}

void ValidateCustom()
{
    g_customValid = false;
    const Product *prod = g_prod;
    const HWOption *hw = g_hw;
    if (!g_customLoaded || !prod || !hw)
        return;
    std::string message;
    g_customValid = CheckFirmwareHW(g_customFw, *prod, *hw, message) == HWMatch;
}
