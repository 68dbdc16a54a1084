#include "catalogue/imagestats.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "targetlib/capture.h"
#include "targetlib/utf8path.h"

void InspectImage(InspectedImage &image)
{
    const std::unique_ptr<IMG> loaded(ReadImage(image.file.c_str()));
    image.valid = loaded != nullptr;
    if (!loaded) {
        image.reason = WhyImageUnusable(image.file);
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

std::string WhyImageUnusable(const std::string &path)
{
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(PathOfName(path), ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return "no such file.";
    if (std::filesystem::is_directory(status))
        return "it is a folder, not an image file.";
    if (!ec && !std::filesystem::is_regular_file(status))
        return "it is not a regular file (a FIFO, socket or device), so it cannot be an image file.";
    const std::string reason = LastErrorText();
    if (reason.empty())
        return "not a valid image file.";
    return reason.back() == '.' ? reason : reason + ".";
}
