// The sixteen mixes as ternary codes, against their truth tables over pen and destination.
#include <gtest/gtest.h>

#include "gdi_reference.h"
#include "platform/gdi/gdi_internal.h"

TEST(GdiRop, MixesMapToTheirPatternCodes)
{
    const uint8_t expected[16] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                  0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};
    for (int mix = R2_BLACK; mix <= R2_WHITE; ++mix) EXPECT_EQ(gdi::Rop2ToRop3Code(mix), expected[mix - 1]) << mix;
}

TEST(GdiRop, MixesOverWordsMatchTheirTruthTables)
{
    // Truth tables written out per mix, indexed by (pen << 1 | destination).
    const char* tables[16] = {"0000", "1000", "0100", "1100", "0010", "1010", "0110", "1110",
                              "0001", "1001", "0101", "1101", "0011", "1011", "0111", "1111"};
    std::mt19937 rng(8);
    for (int mix = R2_BLACK; mix <= R2_WHITE; ++mix) {
        uint32_t p = rng(), d = rng();
        uint32_t got = gdi::Rop2Bits(mix, p, d);
        for (int bit = 0; bit < 32; ++bit) {
            int index = int((p >> bit) & 1) << 1 | int((d >> bit) & 1);
            EXPECT_EQ((got >> bit) & 1, uint32_t(tables[mix - 1][index] - '0')) << mix << " bit " << bit;
        }
        // The same mix as a ternary code with the pen as the pattern.
        EXPECT_EQ(Rop3(gdi::Rop2ToRop3Code(mix), p, rng(), d, 32), got) << mix;
    }
}
