// What an image file holds, as the target library loads it.
#pragma once

#include <string>

#include <cstddef>
#include <cstdint>

// What an image file holds, or why it is no image.
struct InspectedImage {
    std::string file;
    bool valid = false;
    std::string reason;  // why it is not valid
    std::string info;    // information text
    uint32_t address = 0;
    size_t blocks = 0, minBlock = 0, maxBlock = 0;
    uint64_t totalBytes = 0;
};

// Loads `image.file` with ReadImage and fills in the rest of `image`: its
// figures when it loads, else the library's own reason.
void InspectImage(InspectedImage &image);
// Why the image loader refused `path` just now, in words: a folder, a file
// that is not a regular one (a FIFO, a device), else the loader's own reason.
std::string WhyImageUnusable(const std::string &path);
