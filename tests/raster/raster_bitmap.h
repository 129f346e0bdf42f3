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
        : width(w), height(h), depth(d) {
        stride = ((w * d + 31) / 32 + extraWords) * 4;
        words.assign(static_cast<size_t>(stride / 4) * (h > 0 ? h : 1), 0);
        std::memset(words.data(), fill, words.size() * 4);
    }

    uint8_t* Row(int32_t y) { return reinterpret_cast<uint8_t*>(words.data()) + static_cast<ptrdiff_t>(y) * stride; }
    const uint8_t* Row(int32_t y) const {
        return reinterpret_cast<const uint8_t*>(words.data()) + static_cast<ptrdiff_t>(y) * stride;
    }

    // Pixel value: 1, 2, 4 bits packed from the most significant bit of each byte; 8, 24, 32
    // bits as that many bytes (little-endian value).
    uint32_t Get(int32_t x, int32_t y) const {
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
    void Set(int32_t x, int32_t y, uint32_t value) {
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

    BltBitmap Blt() {
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
inline uint32_t Noise(uint32_t a, uint32_t b, uint32_t seed = 1) {
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}
