// SHA-256 (FIPS 180-4) of a file, for the record of what was programmed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    Sha256();
    void Add(const void *data, size_t size);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string Hex();

private:
    void Block(const uint8_t *p);

    uint32_t h[8];
    uint8_t buffer[64] = {};
    size_t used = 0;
    uint64_t bits = 0;
};

// The file's digest, or empty when it cannot be read.
std::string FileSha256(const std::string &path);
