// Token lookup and baud selection on any text: the value is a piece of the
// text that follows the key on one line, and the baud one of the four rates.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalogue/firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string all(reinterpret_cast<const char *>(data), size);
    size_t cut = all.find('\0');
    std::string key = cut == std::string::npos ? std::string("VN:") : all.substr(0, cut);
    std::string info = cut == std::string::npos ? all : all.substr(cut + 1);

    std::string value = GetInfoToken(info, key);
    if (!value.empty()) {
        if (value.find('\n') != std::string::npos || info.find(key + value) == std::string::npos)
            abort();
    }
    uint32_t baud = GetImageBaud(info);
    if (baud != 115200 && baud != 230400 && baud != 460800 && baud != 921600)
        abort();
    return 0;
}
