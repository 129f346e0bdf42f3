// A row of one pixel value against the same row put pixel by pixel, at every depth.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/gdi/gdi_internal.h"

TEST(GdiPixelRow, SolidRowMatchesPixelByPixel)
{
    std::mt19937 rng(17);
    for (int bpp : {1, 4, 8, 16, 24, 32})
        for (int32_t width : {1, 2, 3, 7, 8, 9, 31, 33, 100, 1728}) {
            const uint32_t value = bpp == 32 ? uint32_t(rng()) : uint32_t(rng()) & ((1u << bpp) - 1);
            const size_t stride = (size_t(width) * size_t(bpp) + 31) / 32 * 4;
            std::vector<uint8_t> filled(stride + 8, 0xA5), expected(stride + 8, 0);
            for (int32_t x = 0; x < width; ++x) gdi::PixelPut(expected.data(), x, bpp, value);
            gdi::FillSolidRow(filled.data(), width, bpp, value, stride);
            for (int32_t x = 0; x < width; ++x)
                ASSERT_EQ(gdi::PixelRead(filled.data(), x, bpp), gdi::PixelRead(expected.data(), x, bpp))
                    << "bpp " << bpp << " width " << width << " x " << x;
            // Nothing past the row's stride is touched.
            for (size_t i = stride; i < filled.size(); ++i) ASSERT_EQ(filled[i], 0xA5) << bpp << " " << width;
        }
}
