// What an image file holds, as the target library loads it.
#pragma once

#include <string>

#include "tools/zflash/result.h"

// Loads `image.file` with ReadImage and fills in the rest of `image`: its
// figures when it loads, else the library's own reason.
void InspectImage(InspectedImage &image);
