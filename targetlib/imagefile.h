// Limits of the image loader (ReadImage, ReadImageInfo), private to the target
// library and its tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

// Files larger than this are refused before anything is allocated for them;
// a firmware image of these devices is a few MiB at most.
constexpr unsigned long long kMaxImageFileBytes = 64ull << 20;

// Files up to this size are read into a buffer each thread keeps (listing a
// folder of images then allocates nothing per file); larger ones into a buffer
// that is given back once the image is loaded.
constexpr size_t kKeptBufferBytes = 4u << 20;

// What a loaded image may take. An image is refused as corrupt when its
// blocks, loaded, would take more than twice the file's size plus 1 MiB:
// each block counts its BLK record and, when its data does not fit inside
// the string itself, its data plus kHeapAllowance bytes of heap bookkeeping.
// Real images, whose blocks are hundreds of bytes long, take about 1.2 times
// their size; a file of empty or tiny blocks would take up to 40 times.
constexpr size_t kHeapAllowance = 32;
constexpr size_t kImageMemoryFloor = 1u << 20;
size_t BlockMemory(uint16_t length);
size_t ImageMemoryBound(size_t fileSize);

// Bytes of the calling thread's kept read buffer.
size_t KeptImageBufferBytes();

