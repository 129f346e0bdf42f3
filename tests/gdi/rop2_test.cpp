// The sixteen mixes as ternary codes, against their truth tables over pen and destination.
#include <gtest/gtest.h>

#include "platform/gdi.h"

namespace gdi {
uint8_t Rop2ToRop3Code(int mix);
}

TEST(GdiRop, MixesMapToTheirPatternCodes) {
    const uint8_t expected[16] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F, 0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};
    for (int mix = R2_BLACK; mix <= R2_WHITE; ++mix) EXPECT_EQ(gdi::Rop2ToRop3Code(mix), expected[mix - 1]) << mix;
}
