// The one place where results become JSON.
#pragma once

#include <nlohmann/json.hpp>

#include "tools/zflash/result.h"

nlohmann::json ToJson(const CommandResult &result);

// Pieces, for the writers that need one of them alone.
nlohmann::json ToJson(const FirmwareVersion &image);
nlohmann::json ToJson(const FirmwareInfo &installed);
nlohmann::json ToJson(const Failure &failure);
