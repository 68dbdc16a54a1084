// Reading an image's tokens into a FirmwareVersion, and finding the images of
// a firmware folder.
#include <filesystem>
#include <memory>
#include <system_error>

#include "catalogue/firmware.h"
#include "targetlib/capture.h"
#include "targetlib/utf8path.h"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const char kSeparator = '\\';
const char *const kSeparators = "\\/";
#else
const char kSeparator = '/';
const char *const kSeparators = "/";
#endif

std::string LastComponent(const std::string &path)
{
    size_t sep = path.find_last_of(kSeparators);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

// True when the name's extension, from its last "." on, is ".bin" in any
// letter case. A name whose only "." leads it (".bin") has no extension.
bool HasBinExtension(const std::string &name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name == "..")
        return false;
    std::string ext = name.substr(dot);
    for (char &c : ext) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return ext == ".bin";
}

bool IsDirectory(const fs::path &folder)
{
    std::error_code ec;
    return fs::exists(folder, ec) && fs::is_directory(folder, ec);
}

}  // namespace

bool ReadFirmwareInfo(const std::string &path, FirmwareVersion &fw)
{
    // Checked as ReadImage checks it; only the information text is kept.
    IMG image;
    if (!ReadImageInfo(path.c_str(), image.info, &image.sha256))
        return false;
    fw = FirmwareOfImage(path, image);
    return true;
}

FirmwareVersion FirmwareOfImage(const std::string &path, const IMG &image)
{
    FirmwareVersion fw;
    fw.path = path;
    fw.fileName = LastComponent(path);
    fw.version = GetInfoToken(image.info, "VN:");
    fw.model = GetInfoToken(image.info, "MD:");
    fw.hw = GetInfoToken(image.info, "HW:");
    fw.hasHW = !fw.hw.empty();
    fw.sha256 = image.sha256;
    return fw;
}

std::vector<FirmwareVersion> DiscoverFirmware(const std::string &folder)
{
    std::vector<FirmwareVersion> found;
    const fs::path dir = PathFromUtf8(folder);
    if (!IsDirectory(dir))
        return found;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return found;
    // From here on a failing step throws; the caller reports it.
    for (; it != fs::directory_iterator(); ++it) {
        if (!it->is_regular_file())
            continue;
        const std::string name = Utf8FromPath(it->path().filename());
        if (!HasBinExtension(name))
            continue;
        FirmwareVersion fw;
        if (ReadFirmwareInfo(folder + kSeparator + name, fw))
            found.push_back(std::move(fw));
    }
    SortNewestFirst(found);
    return found;
}
