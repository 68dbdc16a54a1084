// Reading single values out of an information text.
#include "catalogue/firmware.h"

std::string GetInfoToken(const std::string &info, const std::string &key)
{
    size_t offset = 0;
    while (offset < info.size()) {
        size_t lf = info.find('\n', offset);
        size_t end = lf == std::string::npos ? info.size() : lf;
        if (end > offset && info[end - 1] == '\r')
            --end;
        size_t length = end - offset;
        if (length >= key.size() && info.compare(offset, key.size(), key) == 0)
            return info.substr(offset + key.size(), length - key.size());
        if (lf == std::string::npos)
            break;
        offset = lf + 1;
    }
    return std::string();
}

uint32_t GetImageBaud(const std::string &info)
{
    std::string value = GetInfoToken(info, "BR:");
    if (value.empty())
        return 115200;
    switch (value[0]) {
    case '4':
        return 460800;
    case '9':
        return 921600;
    case '2':
        return 230400;
    default:
        return 115200;
    }
}
