#include <climits>

#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

TEST(MulDiv, RoundsHalvesAwayFromZeroAndFailsWithMinusOne)
{
    struct Case {
        int number, numerator, denominator, want;
    } cases[] = {
        {10, 3, 4, 8},  // 7.5 -> 8
        {-10, 3, 4, -8},  // -7.5 -> -8
        {10, -3, 4, -8},
        {10, 3, -4, -8},
        {-10, -3, -4, -8},
        {-10, -3, 4, 8},
        {5, 1, 3, 2},  // 1.67 -> 2
        {4, 1, 3, 1},  // 1.33 -> 1
        {-4, 1, 3, -1},
        {1, 1, 2, 1},  // 0.5 -> 1
        {-1, 1, 2, -1},  // -0.5 -> -1
        {1, 1, 3, 0},  // 0.33 -> 0
        {0, 5, 7, 0},
        {300, 600, 72, 2500},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX},  // the product needs 64 bits
        {INT_MIN, INT_MIN, INT_MIN, INT_MIN},
        {INT_MIN, 1, 1, INT_MIN},
        {INT_MIN, -1, 1, -1},  // 2^31 does not fit
        {INT_MIN, 1, -1, -1},
        {INT_MAX, 2, 1, -1},
        {INT_MAX, 2, 2, INT_MAX},
        {1, 1, 0, -1},  // zero divisor
        {0, 0, 0, -1},
        {INT_MAX, INT_MAX, 1, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.want)
            << c.number << " * " << c.numerator << " / " << c.denominator;
}

}  // namespace
