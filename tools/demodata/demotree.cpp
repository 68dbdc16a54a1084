// The demo tree: one flash loader per hardware option and a handful of
// firmware images with different versions, clearly marked as demo data.
#include "tools/demodata/demotree.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "catalogue/target.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kBlockSize = 1024;  // within the 1143 bytes a frame carries
constexpr uint32_t kLoaderAddress = 0x20000400;
constexpr uint32_t kFirmwareAddress = 0x08010000;

struct DemoFirmware {
    const char *version;
    bool withHW;
    size_t kib;
    const char *built;
};

// Newest is 1.10.3, so the list also shows that 1.10 sorts above 1.9.
const DemoFirmware kFirmware[] = {
    {"1.10.3", true, 48, "2026-09-18 16:05"},
    {"1.9.7", true, 40, "2026-05-02 11:40"},
    {"1.2.0", true, 32, "2025-11-20 09:15"},
    {"0.9.8", false, 24, "2024-06-11 14:30"},  // an older build without "HW:"
};

// Deterministic filler, different per file, so verification compares real data.
std::string Filler(size_t bytes, uint32_t seed)
{
    std::string out(bytes, '\0');
    uint32_t x = seed | 1;
    for (char &c : out) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    return out;
}

uint32_t Seed(const std::string &text)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : text)
        h = (h ^ c) * 16777619u;
    return h;
}

// Block data: the information text with its zero byte, then filler.
std::vector<BLK> Payload(const std::string &info, size_t bytes)
{
    std::string data = info + '\0';
    if (data.size() < bytes)
        data += Filler(bytes - data.size(), Seed(info));
    return SplitIntoBlocks(data, kBlockSize);
}

std::string LowerCase(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

std::string Underscored(std::string version)
{
    for (char &c : version)
        if (c == '.')
            c = '_';
    return version;
}

// Most loaders run at 921600 baud; two ask for other rates.
const char *LoaderBaud(const std::string &hw)
{
    if (hw == "VKTPA")
        return "115200";
    if (hw == "VKTQ2")
        return "460800";
    return "921600";
}

bool WriteText(const fs::path &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return bool(out.flush());
}

bool WriteLoader(const fs::path &root, const Product &prod, const HWOption &opt, std::string &error)
{
    const fs::path dir = root / "flashloader" / opt.folder;
    const fs::path file = dir / opt.flashLoader;
    const std::string info = "VN:1.0.4\r\nMD:" + prod.name + "\r\nHW:" + opt.hw + "\r\nBR:" +
                             LoaderBaud(opt.hw) + "\r\nDEMO flash loader\r\n";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!WriteImageFile(file.string(), info, kLoaderAddress, Payload(info, size_t{6} * 1024))) {
        error = file.string();
        return false;
    }
    return true;
}

std::string ReleaseNotes(const Product &prod, const HWOption &opt)
{
    std::string notes = "DEMO RELEASE NOTES - " + prod.name + " (" + opt.hw + ")\r\n";
    notes += "Sample data for trying the update tool with the simulated device.\r\n";
    notes += "These images are not real firmware.\r\n\r\n";
    for (const DemoFirmware &fw : kFirmware) {
        notes += "v" + std::string(fw.version) + "  (" + fw.built + ")\r\n";
        notes += fw.withHW ? "  - DEMO build for " + opt.hw + ".\r\n"
                           : std::string("  - DEMO older build without a hardware identifier.\r\n");
        notes += "\r\n";
    }
    return notes;
}

bool WriteFirmware(const fs::path &root, const Product &prod, const HWOption &opt, std::string &error)
{
    const fs::path dir = root / "firmware" / opt.folder;
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (const DemoFirmware &fw : kFirmware) {
        std::string info = "VN:" + std::string(fw.version) + "\r\nMD:" + prod.name + "\r\n";
        if (fw.withHW)
            info += "HW:" + opt.hw + "\r\n";
        info += "TS:" + std::string(fw.built) + "\r\n";
        const std::string name = LowerCase(opt.hw) + "_fw_v" + Underscored(fw.version) +
                                 (fw.withHW ? "" : "_legacy") + ".bin";
        const fs::path file = dir / name;
        if (!WriteImageFile(file.string(), info, kFirmwareAddress, Payload(info, fw.kib * 1024))) {
            error = file.string();
            return false;
        }
    }
    if (!WriteText(dir / "release.txt", ReleaseNotes(prod, opt))) {
        error = (dir / "release.txt").string();
        return false;
    }
    return true;
}

const char kReadme[] =
    "DEMO DATA - NOT REAL FIRMWARE\r\n"
    "\r\n"
    "The flashloader\\ and firmware\\ folders beside this file are sample data,\r\n"
    "generated at build time for trying Zelvo Flash Update with the simulated\r\n"
    "device (zsim). Every image is a valid image file whose contents are filler.\r\n"
    "Never program them onto a real device.\r\n";

}  // namespace

bool WriteDemoTree(const std::string &rootText, std::string &error)
{
    const fs::path root = fs::u8path(rootText);
    std::error_code ec;
    fs::create_directories(root, ec);
    if (!WriteText(root / "README.txt", kReadme)) {
        error = (root / "README.txt").string();
        return false;
    }
    for (const Product &prod : AllProducts()) {
        for (const HWOption &opt : prod.options) {
            if (!WriteLoader(root, prod, opt, error) || !WriteFirmware(root, prod, opt, error))
                return false;
        }
    }
    return true;
}
