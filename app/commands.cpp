// The window-independent part of the Capture, Program and Disconnect commands.
#include "app/commands.h"

#include "app/appstate.h"
#include "catalogue/hwcheck.h"
#include "targetlib/capture.h"

namespace {

const char *const kUnverifiableCaption = "Cannot verify firmware";
const char *const kCustomUnverifiable =
    "This custom firmware image carries no Model/HW identifier and cannot be verified. It will "
    "not be programmed.";

}  // namespace

void ClearDeviceState()
{
    g_prod = nullptr;
    g_hw = nullptr;
    g_fwList.clear();
    g_customValid = false;
    g_abortCapture = false;
    g_captureTimedOut = false;
}

bool ChosenImage(long listIndex, FirmwareVersion &fw)
{
    if (g_customLoaded) {
        fw = g_customFw;
        return true;
    }
    if (listIndex < 0 || size_t(listIndex) >= g_fwList.size())
        return false;
    fw = g_fwList[size_t(listIndex)];
    return true;
}

ImageApproval ApproveImage(const FirmwareVersion &fw, const Product &prod, const HWOption &hw,
                           bool custom)
{
    ImageApproval a;
    const int verdict = CheckFirmwareHW(fw, prod, hw, a.reason);
    if (verdict == HWMatch) {
        a.verdict = ImageApproval::Go;
        a.text = a.reason;
    } else if (verdict == HWMismatch) {
        a.verdict = ImageApproval::Refuse;
        a.text = a.reason;
        a.caption = "Firmware does not match device";
        a.kind = FailureKind::WrongHardware;
    } else if (custom) {
        a.verdict = ImageApproval::Refuse;
        a.text = kCustomUnverifiable;
        a.caption = kUnverifiableCaption;
        a.kind = FailureKind::WrongHardware;
    } else {
        a.verdict = ImageApproval::Ask;
        a.text = a.reason + "\n\nProgram anyway?";
        a.caption = kUnverifiableCaption;
    }
    return a;
}

void ReleaseDevice()
{
    ClosePort();
    g_portOpen = false;
}
