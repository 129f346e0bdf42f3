// Test bitmaps for the raster code: owned rows (32-bit aligned), per-pixel access by depth,
// and a descriptor for the kernels.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/stretch/blt_bitmap.h"

struct TestBitmap {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 1;
    int32_t stride = 0;
    std::vector<uint32_t> words;

    TestBitmap(int32_t w, int32_t h, int32_t d, int32_t extraWords = 0, uint8_t fill = 0)
        : width(w), height(h), depth(d)
    {
        stride = ((w * d + 31) / 32 + extraWords) * 4;
        words.assign(static_cast<size_t>(stride / 4) * (h > 0 ? h : 1), 0);
        std::memset(words.data(), fill, words.size() * 4);
    }

    uint8_t* Row(int32_t y) { return reinterpret_cast<uint8_t*>(words.data()) + static_cast<ptrdiff_t>(y) * stride; }
    const uint8_t* Row(int32_t y) const
    {
        return reinterpret_cast<const uint8_t*>(words.data()) + static_cast<ptrdiff_t>(y) * stride;
    }

    // Pixel value: 1, 2, 4 bits packed from the most significant bit of each byte; 8, 24, 32
    // bits as that many bytes (little-endian value).
    uint32_t Get(int32_t x, int32_t y) const
    {
        const uint8_t* row = Row(y);
        if (depth < 8) {
            int64_t bit = static_cast<int64_t>(x) * depth;
            int shift = 8 - depth - static_cast<int>(bit % 8);
            return (row[bit / 8] >> shift) & ((1u << depth) - 1);
        }
        uint32_t v = 0;
        std::memcpy(&v, row + static_cast<ptrdiff_t>(x) * (depth / 8), depth / 8);
        return v;
    }
    void Set(int32_t x, int32_t y, uint32_t value)
    {
        uint8_t* row = Row(y);
        if (depth < 8) {
            int64_t bit = static_cast<int64_t>(x) * depth;
            int shift = 8 - depth - static_cast<int>(bit % 8);
            uint8_t mask = static_cast<uint8_t>(((1u << depth) - 1) << shift);
            row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
            return;
        }
        std::memcpy(row + static_cast<ptrdiff_t>(x) * (depth / 8), &value, depth / 8);
    }

    BltBitmap Blt()
    {
        BltBitmap b{};
        b.bits = words.data();
        b.stride = stride;
        b.width = width;
        b.height = height;
        b.bpp = depth;
        return b;
    }
};

// Deterministic pixel noise.
inline uint32_t Noise(uint32_t a, uint32_t b, uint32_t seed = 1)
{
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

// A pattern as the tiling kernels read it: native 32-bit numbers, pixel 0 in the top bits,
// each row repeated to the end of its last word.
struct TestPattern {
    uint32_t width, height, depth, strideWords;
    std::vector<uint32_t> values;  // width x height pixel values
    std::vector<uint32_t> words;

    TestPattern(uint32_t w, uint32_t h, uint32_t d, uint32_t seed)
        : width(w), height(h), depth(d), strideWords((w + 32 / d - 1) / (32 / d))
    {
        values.resize(static_cast<size_t>(w) * h);
        for (size_t i = 0; i < values.size(); ++i) values[i] = Noise(i, w, seed) & ((1u << d) - 1);
        words.assign(static_cast<size_t>(strideWords) * h, 0);
        const uint32_t ppw = 32 / d;
        for (uint32_t r = 0; r < h; ++r)
            for (uint32_t j = 0; j < strideWords * ppw; ++j)
                words[r * strideWords + j / ppw] |= At(j % w, r) << (32 - d * (j % ppw + 1));
    }
    uint32_t At(uint32_t x, uint32_t y) const { return values[static_cast<size_t>(y) * width + x]; }
    BltBitmap Blt()
    {
        BltBitmap b{};
        b.bits = words.data();
        b.stride = static_cast<int32_t>(strideWords * 4);
        b.width = static_cast<int32_t>(width);
        b.height = static_cast<int32_t>(height);
        return b;
    }
};
