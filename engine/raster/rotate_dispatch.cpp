// Selection of the rotation kernel by depth and angle, with mirroring folded in: a mirror in x
// is a half turn followed by a mirror in y, and a mirror in y is the kernel writing into the
// destination bottom row first (its bits moved to the last row and its stride negated).
#include "engine/raster/rotate.h"

namespace {

using RotateKernel = void (*)(BltBitmap*, BltBitmap*);

constexpr uint32_t Key(uint32_t depth, uint32_t angle) { return depth | angle << 16; }

RotateKernel SelectKernel(uint32_t depth, uint32_t angle)
{
    switch (Key(depth, angle)) {
        case Key(1, 0): return Rotate1By0;
        case Key(1, 90): return Rotate1By90;
        case Key(1, 180): return Rotate1By180;
        case Key(1, 270): return Rotate1By270;
        case Key(8, 0): return Rotate8By0;
        case Key(8, 90): return Rotate8By90;
        case Key(8, 180): return Rotate8By180;
        case Key(8, 270): return Rotate8By270;
        case Key(0x18, 0): return Rotate24By0;
        case Key(0x18, 90): return Rotate24By90;
        case Key(0x18, 180): return Rotate24By180;
        case Key(0x18, 270): return Rotate24By270;
        case Key(0x20, 0): return Rotate32By0;
        case Key(0x20, 90): return Rotate32By90;
        case Key(0x20, 180): return Rotate32By180;
        case Key(0x20, 270): return Rotate32By270;
        default: return nullptr;
    }
}

}  // namespace

void BitmapRotateDispatch(BltBitmap* dest, BltBitmap* source, uint32_t angle, int32_t xMirror, int32_t yMirror)
{
    uint64_t turn = angle;
    bool flip = yMirror != 0;
    if (xMirror) {
        turn += 180;
        flip = !flip;
    }
    if (turn >= 360) turn %= 360;
    RotateKernel kernel = SelectKernel(static_cast<uint32_t>(source->bpp), static_cast<uint32_t>(turn));
    // An empty source writes nothing; the descriptor is not touched either.
    if (!kernel || source->width <= 0 || source->height <= 0) return;

    void* const bits = dest->bits;
    const int32_t stride = dest->stride;
    if (flip) {
        const int64_t rows = (turn == 90 || turn == 270) ? source->width : source->height;
        dest->bits = static_cast<uint8_t*>(bits) + (rows - 1) * static_cast<int64_t>(stride);
        dest->stride = -stride;
    }
    kernel(dest, source);
    dest->bits = bits;
    dest->stride = stride;
}
