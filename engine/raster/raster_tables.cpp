// Constant tables of the rotation and plane code, computed at compile time.
#include "engine/raster/rotate.h"

namespace {

constexpr std::array<uint8_t, 256> MakeBitReverse8()
{
    std::array<uint8_t, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        unsigned reversed = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (n & (1u << bit)) reversed |= 0x80u >> bit;
        }
        table[n] = static_cast<uint8_t>(reversed);
    }
    return table;
}

// Each of the four bits of n (most significant first) widened to `width` equal bits.
constexpr std::array<uint32_t, 16> MakeWiden(unsigned width)
{
    std::array<uint32_t, 16> table{};
    for (unsigned n = 0; n < 16; ++n) {
        uint32_t value = 0;
        for (unsigned bit = 0; bit < 4; ++bit) {
            value <<= width;
            if (n & (8u >> bit)) value |= (1u << width) - 1;
        }
        table[n] = value;
    }
    return table;
}

}  // namespace

constinit const std::array<uint8_t, 256> BitReverse8 = MakeBitReverse8();
constinit const std::array<uint32_t, 16> Bits1To2 = MakeWiden(2);
constinit const std::array<uint32_t, 16> Bits1To4 = MakeWiden(4);

static_assert(MakeWiden(2)[1] == 0x3 && MakeWiden(2)[2] == 0xC && MakeWiden(2)[4] == 0x30 && MakeWiden(2)[15] == 0xFF);
static_assert(MakeWiden(4)[1] == 0xF && MakeWiden(4)[2] == 0xF0 && MakeWiden(4)[3] == 0xFF &&
              MakeWiden(4)[15] == 0xFFFF);
static_assert(MakeBitReverse8()[1] == 0x80 && MakeBitReverse8()[0x0F] == 0xF0);
