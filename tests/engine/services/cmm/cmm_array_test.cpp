// The typed-array converter's scaling, rounding and limits.
#include <cmath>
#include <limits>

#include "engine/services/cmm/cmm_array.h"
#include "tests/engine/services/cmm/cmm_fixture.h"

namespace {

TEST(CmmArray, FloatsToIntegersRoundAndClampByCode)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float value;
        CmmElementCode code;
        int64_t expected;
    } cases[] = {
        {200.0f, CMM_ELEMENT_U8, 200},     {255.7f, CMM_ELEMENT_U8, 255},    {-3.0f, CMM_ELEMENT_U8, 0},
        {127.4f, CMM_ELEMENT_U8, 127},     {127.6f, CMM_ELEMENT_U8, 128},    {100.9f, CMM_ELEMENT_U8, 100},
        {nan, CMM_ELEMENT_U8, 0},          {255.0f, CMM_ELEMENT_U16, 65534}, {-1.0f, CMM_ELEMENT_U16, 0},
        {128.0f, CMM_ELEMENT_U16, 32896},  {255.0f, CMM_ELEMENT_S16, 32766}, {-300.0f, CMM_ELEMENT_S16, -32766},
        {1.0f, CMM_ELEMENT_S32, 16843009}, {-1.0f, CMM_ELEMENT_U32_BITS, 0},
    };
    for (const auto& c : cases) {
        float in = c.value;
        int64_t out = 0;
        const CmmArray source{1, 1, CMM_ELEMENT_FLOAT, 0, &in};
        uint8_t storage[8] = {};
        CmmArray destination{1, 1, c.code, 0, storage};
        CmmArrayConvert(&source, &destination);
        switch (c.code) {
            case CMM_ELEMENT_U8: out = storage[0]; break;
            case CMM_ELEMENT_U16: out = *reinterpret_cast<uint16_t*>(storage); break;
            case CMM_ELEMENT_S16: out = *reinterpret_cast<int16_t*>(storage); break;
            case CMM_ELEMENT_S32: out = *reinterpret_cast<int32_t*>(storage); break;
            default: out = *reinterpret_cast<uint32_t*>(storage); break;
        }
        EXPECT_EQ(out, c.expected) << c.value << " code " << c.code;
    }
}

TEST(CmmArray, IntegersBecomeFloatsByTheirSignificantBitsAndOnlyTheCommonPartMoves)
{
    const uint16_t words[2][3] = {{0, 65535, 4095}, {257, 1, 2}};
    float out[3][2];
    for (auto& row : out) row[0] = row[1] = -1;
    const CmmArray source{3, 2, CMM_ELEMENT_U16, 0, const_cast<uint16_t*>(&words[0][0])};
    CmmArray destination{2, 3, CMM_ELEMENT_FLOAT, 0, &out[0][0]};
    CmmArrayConvert(&source, &destination);
    EXPECT_FLOAT_EQ(out[0][0], 0);
    EXPECT_FLOAT_EQ(out[0][1], 255);
    EXPECT_FLOAT_EQ(out[1][0], 1);  // 257 of 65535
    EXPECT_FLOAT_EQ(out[2][0], -1);  // the source has two rows only
    const CmmArray twelveBits{1, 1, CMM_ELEMENT_U16, 12, const_cast<uint16_t*>(&words[0][2])};
    float top = 0;
    CmmArray one{1, 1, CMM_ELEMENT_FLOAT, 0, &top};
    CmmArrayConvert(&twelveBits, &one);
    EXPECT_FLOAT_EQ(top, 255);
    // Same codes copy row by row.
    uint16_t copy[2][2] = {};
    CmmArray same{2, 2, CMM_ELEMENT_U16, 0, &copy[0][0]};
    CmmArrayConvert(&source, &same);
    EXPECT_EQ(copy[0][1], 65535);
    EXPECT_EQ(copy[1][0], 257);
}

}  // namespace
