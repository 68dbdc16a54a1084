// SHA-256 through Windows CNG (bcrypt.dll).
#include "targetlib/sha256.h"

#include <windows.h>
// needs windows.h first
#include <bcrypt.h>

std::string Sha256Hex(const void *data, size_t size)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return std::string();
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32];
    bool ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    // BCryptHashData takes at most 4 GiB a call; an image is far smaller.
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (size_t done = 0; ok && done < size;) {
        const ULONG piece = ULONG(size - done > 0x40000000u ? 0x40000000u : size - done);
        ok = BCryptHashData(hash, const_cast<PUCHAR>(bytes + done), piece, 0) == 0;
        done += piece;
    }
    ok = ok && BCryptFinishHash(hash, digest, sizeof digest, 0) == 0;
    if (hash)
        BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok ? HexOfDigest(digest) : std::string();
}
