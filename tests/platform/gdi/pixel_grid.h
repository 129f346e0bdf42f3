// A window of pixels that span sinks paint, for comparing scan conversions in tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/polyfill.h"

struct PixelGrid {
    RECT box;
    std::vector<uint8_t> cells;
    int overlaps = 0;  // pixels painted twice by one scan conversion

    explicit PixelGrid(RECT r) : box(r), cells(static_cast<size_t>(r.right - r.left) * (r.bottom - r.top)) {}
    bool Get(LONG x, LONG y) const { return cells[Index(x, y)] != 0; }
    void Set(LONG x, LONG y, bool v) { cells[Index(x, y)] = v ? 1 : 0; }
    size_t Index(LONG x, LONG y) const
    {
        return static_cast<size_t>(y - box.top) * (box.right - box.left) + (x - box.left);
    }
    bool Inside(LONG x, LONG y) const { return x >= box.left && x < box.right && y >= box.top && y < box.bottom; }

    static void Sink(void* context, LONG y, LONG left, LONG right)
    {
        auto* grid = static_cast<PixelGrid*>(context);
        for (LONG x = left; x < right; ++x) {
            if (!grid->Inside(x, y)) {
                ++grid->overlaps;  // out of the window counts as a fault too
                continue;
            }
            if (grid->Get(x, y)) ++grid->overlaps;
            grid->Set(x, y, true);
        }
    }

    // The first differing pixel, for a readable failure message; empty when equal.
    std::string FirstDifference(const PixelGrid& other) const
    {
        for (LONG y = box.top; y < box.bottom; ++y)
            for (LONG x = box.left; x < box.right; ++x)
                if (Get(x, y) != other.Get(x, y))
                    return "pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                           "): " + std::to_string(Get(x, y)) + " vs " + std::to_string(other.Get(x, y));
        return {};
    }

    int Count() const
    {
        int n = 0;
        for (uint8_t c : cells) n += c;
        return n;
    }
};
