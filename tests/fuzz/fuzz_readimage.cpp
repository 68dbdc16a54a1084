// Arbitrary files through the image loader: it refuses or returns an image
// whose blocks lie within the file and fit in one frame each, and whose
// blocks take no more memory than the loader's bound for the file's size.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "targetlib/capture.h"
#include "targetlib/imagefile.h"

namespace {
std::string path;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    path = "/tmp/zf-fuzz-image-" + std::to_string(getpid()) + ".bin";
    if (!std::freopen("/dev/null", "w", stdout))  // the loader's trace
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    IMG *img = ReadImage(path.c_str());
    if (!img) {
        if (LastError() != ErrImage)
            abort();
        return 0;
    }
    size_t total = img->info.size(), memory = 0;
    for (const BLK &b : img->blocks) {
        if (b.data.size() != b.length || b.length > 1143)
            abort();
        total += 3 + b.data.size();
        memory += BlockMemory(b.length);
    }
    if (total + 17 + 4 > size || memory > ImageMemoryBound(size))
        abort();
    delete img;
    return 0;
}
