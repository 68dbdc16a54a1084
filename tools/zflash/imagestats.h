// What an image file holds, as the target library loads it.
#pragma once

#include <string>

#include "tools/zflash/result.h"

// Loads `image.file` with ReadImage and fills in the rest of `image`: its
// figures when it loads, else the library's own reason.
void InspectImage(InspectedImage &image);
// Why the image loader refused `path` just now, in words: a folder, a file
// that is not a regular one (a FIFO, a device), else the loader's own reason.
std::string WhyImageUnusable(const std::string &path);
