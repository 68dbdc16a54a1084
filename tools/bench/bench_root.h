// The image tree of the benchmarks that run zflash: the VKT3K flash loader
// and one firmware image (9.9.9) filling `region` bytes.
#pragma once

#include <cstddef>
#include <filesystem>

bool MakeBenchRoot(const std::filesystem::path &root, size_t region);
