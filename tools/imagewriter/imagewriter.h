// Writes image files ("zimg", information text, address, blocks, checksum)
// for tests, sample data and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "targetlib/capture.h"

// The bytes of an image file with a correct checksum.
std::string BuildImage(const std::string &info, uint32_t address, const std::vector<BLK> &blocks);
// Splits `data` into blocks of at most `blockSize` bytes (flags 0).
std::vector<BLK> SplitIntoBlocks(const std::string &data, size_t blockSize, uint8_t flags = 0);
// Writes BuildImage(...) to `path`; false when the file cannot be written.
bool WriteImageFile(const std::string &path, const std::string &info, uint32_t address,
                    const std::vector<BLK> &blocks);
// Writes `bytes` to `path` as they are; false when the file cannot be written.
bool WriteFileBytes(const std::string &path, const std::string &bytes);
// A flash loader image in memory that runs at `baud`: its information text
// names the rate ("BR:") and also starts its first block, zero-terminated,
// where the simulated device reads it; `codeBytes` of code follow, in
// blocks of 256 bytes.
IMG LoaderImage(unsigned baud, size_t codeBytes = 2000);
