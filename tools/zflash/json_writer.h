// zflash's JSON document: the result of one run (station/json.h writes its
// parts).
#pragma once

#include <nlohmann/json_fwd.hpp>

#include "tools/zflash/result.h"

nlohmann::json ToJson(const CommandResult &result);

