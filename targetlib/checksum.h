// Checksums and big-endian readers of the target library.
#pragma once

#include <cstdint>

// Fletcher-32 over `words` big-endian 16-bit words, sums modulo 65536;
// plain sum in the high half, sum of sums in the low half. 0 when words <= 0.
uint32_t CalcFletcher32(const unsigned char *data, int words);
// Fletcher-16 over bytes, sums modulo 256: (s1 << 8) | s2. 0 when bytes <= 0.
uint16_t CalcFletcher16(const unsigned char *data, int bytes);

uint32_t ReadULong(const unsigned char **cursor);
uint16_t ReadUShort(const unsigned char **cursor);
