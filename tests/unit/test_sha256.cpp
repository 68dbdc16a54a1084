// The digest that the record of a programmed image carries: the platform's
// SHA-256 against the standard's test vectors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "targetlib/sha256.h"

TEST(Sha256, StandardVectors)
{
    const struct {
        std::string text;
        const char *digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.digest, Sha256Hex(c.text.data(), c.text.size())) << c.text.substr(0, 20);
}

TEST(Sha256, AFileHasTheDigestOfItsBytesAndAMissingOneNone)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "zf_sha256_test.bin";
    std::ofstream(file, std::ios::binary) << std::string("abc\0def", 7);
    EXPECT_EQ(Sha256Hex("abc\0def", 7), FileSha256(file.string()));
    std::filesystem::remove(file);
    EXPECT_EQ("", FileSha256(file.string()));
}
