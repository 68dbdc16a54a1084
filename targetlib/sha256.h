// SHA-256 from the platform's own implementation: OpenSSL's libcrypto on
// POSIX systems (sha256_openssl.cpp), CNG on Windows (sha256_cng.cpp).
#pragma once

#include <cstddef>
#include <string>

// The digest of `size` bytes at `data`, as 64 lower-case hex digits; empty
// only when the platform refuses (out of memory).
std::string Sha256Hex(const void *data, size_t size);

// The digest of a file's bytes, read whole; empty when it cannot be read.
std::string FileSha256(const std::string &path);

// 32 digest bytes as 64 lower-case hex digits.
std::string HexOfDigest(const unsigned char *digest);
