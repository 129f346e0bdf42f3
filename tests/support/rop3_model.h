// The reference model of a ternary raster operation: each result bit is the bit of the code that
// the pattern, source and destination bits index (pattern the high bit, destination the low).
#pragma once

#include <cstdint>

// The result over the low `bits` bits of p, s and d; higher bits are 0.
inline uint32_t Rop3(uint8_t code, uint32_t p, uint32_t s, uint32_t d, int bits)
{
    uint32_t r = 0;
    for (int i = 0; i < bits; ++i) {
        const int index = int((p >> i) & 1) << 2 | int((s >> i) & 1) << 1 | int((d >> i) & 1);
        r |= uint32_t((code >> index) & 1) << i;
    }
    return r;
}
