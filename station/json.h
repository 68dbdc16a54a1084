// The one place where the results of device sessions become JSON: the
// record and zflash's JSON document are made of these parts.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include "app/outcome.h"
#include "catalogue/firmware.h"

nlohmann::json ToJson(const FirmwareVersion &image);
nlohmann::json ToJson(const FirmwareInfo &installed);
nlohmann::json ToJson(const Failure &failure);
