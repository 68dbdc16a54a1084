#include "tools/zflash/imagestats.h"

#include <algorithm>
#include <memory>

#include "targetlib/capture.h"

void InspectImage(InspectedImage &image)
{
    const std::unique_ptr<IMG> loaded(ReadImage(image.file.c_str()));
    image.valid = loaded != nullptr;
    if (!loaded) {
        image.reason = LastErrorText();
        if (image.reason.empty())
            image.reason = "not a valid image file";
        return;
    }
    image.address = loaded->address;
    image.info = loaded->info;
    image.blocks = loaded->blocks.size();
    for (size_t i = 0; i < loaded->blocks.size(); ++i) {
        const size_t n = loaded->blocks[i].data.size();
        image.minBlock = i == 0 ? n : std::min(image.minBlock, n);
        image.maxBlock = std::max(image.maxBlock, n);
        image.totalBytes += n;
    }
}
