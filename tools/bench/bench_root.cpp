#include "tools/bench/bench_root.h"

#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

// A root with the VKT3K flash loader and one firmware image filling `region`.
bool MakeBenchRoot(const fs::path &root, size_t region)
{
    const fs::path loader = root / "flashloader" / "VKT3" / "VKT3K" / "vkt3_flash_v1_0_4.img";
    const fs::path image = root / "firmware" / "VKT3" / "VKT3K" / "fw_9_9_9.bin";
    fs::create_directories(loader.parent_path());
    fs::create_directories(image.parent_path());
    const std::string loaderInfo = "VN:1.0.4\r\nBR:921600\r\n";
    const std::string info = "VN:9.9.9\r\nMD:VKT-3\r\nHW:VKT3K\r\n";
    std::string data = info + '\0';
    for (size_t i = 0; data.size() < region; ++i)
        data += char((i * 131 + 7) & 0xFF);
    return WriteImageFile(loader.string(), loaderInfo, 0x20000000,
                          SplitIntoBlocks(loaderInfo + '\0' + std::string(2000, '\xA5'), 256)) &&
           WriteImageFile(image.string(), info, 0x08010000, SplitIntoBlocks(data, 1143, 1));
}

