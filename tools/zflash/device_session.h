// The steps that the device commands share: capture and identify the device
// on a port, read its installed firmware, release the port. Each step prints
// its outcome and records it in the result; a failed step gives its exit code.
#pragma once

#include <string>

#include "catalogue/target.h"
#include "tools/zflash/result.h"
#include "tools/zflash/zflash.h"

// Capture workflow on `port`. ExitOk: the device is identified (g_prod,
// g_hw), its firmware listed (g_fwList) and the port open with the flash
// loader running. Otherwise the port is released and the exit code returned.
int CaptureDevice(const GlobalOptions &global, const std::string &port, DeviceResult &result);
// Query workflow into `installed` (left empty when the device has no readable
// firmware, which is not a failure); Ctrl-C is, in `result` (ExitNoDevice). The port
// stays open.
int QueryInstalled(DeviceResult &result, std::optional<FirmwareInfo> &installed);
// Prints and returns the error of a failed device session (the failure's
// own exit code, or `code` when given).
int DeviceFailed(DeviceResult &result, const Failure &failure, const std::string &text);

// The catalogue entry of a hardware option, with the rate its flash loader
// asks for (0 when it does not load).
DeviceEntry EntryOf(const Product &product, const HWOption &hw, unsigned loaderBaud);
unsigned LoaderBaud(const HWOption &hw);
