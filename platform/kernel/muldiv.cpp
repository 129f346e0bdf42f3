#include <cstdint>

#include "platform/kernel.h"

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0) return -1;
    const int64_t product = static_cast<int64_t>(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    // Magnitudes in unsigned 64 bits: |INT_MIN * INT_MIN| and |INT_MIN| both fit.
    const uint64_t p = product < 0 ? 0 - static_cast<uint64_t>(product) : static_cast<uint64_t>(product);
    const uint64_t d = denominator < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(denominator))
                                       : static_cast<uint64_t>(denominator);
    uint64_t q = p / d;
    if (2 * (p % d) >= d)  // halves go away from zero
        ++q;
    if (negative) {
        if (q > (uint64_t{1} << 31)) return -1;
        return static_cast<int>(-static_cast<int64_t>(q));
    }
    if (q > INT32_MAX) return -1;
    return static_cast<int>(q);
}
