// What an image file holds, as the target library loads it.
#pragma once

#include <cstdint>
#include <string>

struct ImageStats {
    uint32_t address = 0;
    std::string info;
    size_t blocks = 0;
    size_t minBlock = 0, maxBlock = 0;  // data bytes of the smallest and largest block
    uint64_t totalBytes = 0;            // data bytes of all blocks
};

// Loads `path` with ReadImage. False when it does not load; `reason` (if
// given) then receives the library's own explanation from its trace.
bool ReadImageStats(const std::string &path, ImageStats &stats, std::string *reason = nullptr);
