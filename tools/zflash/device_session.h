// The steps that both device commands share: capture and identify the device
// on a port, read its installed firmware, release the port. Each step prints
// its outcome and records it in the report; a failed step gives its exit code.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "catalogue/firmware.h"
#include "catalogue/target.h"
#include "tools/zflash/zflash.h"

// Capture workflow on `port`. ExitOk: the device is identified (g_prod,
// g_hw), its firmware listed (g_fwList) and the port open with the flash
// loader running. Otherwise the port is released and the exit code returned.
int CaptureDevice(const GlobalOptions &global, const std::string &port);
// Query workflow; the summary goes to the report's installed.<key>. A device
// without readable firmware is not a failure; Ctrl-C is (ExitNoDevice). The
// port stays open.
int QueryInstalled(const char *key);
void ReleasePort();

// Baud rate that the option's flash loader asks for; 0 when it does not load.
unsigned LoaderBaud(const HWOption &hw);
nlohmann::json ImageJson(const FirmwareVersion &fw);
nlohmann::json ImagesJson(const std::vector<FirmwareVersion> &list);
// "ERROR: Erase failed." -> "Erase failed."
std::string WithoutErrorPrefix(const std::string &line);
