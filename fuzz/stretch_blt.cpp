// Drives the stretch blit with arbitrary geometry inside its contract (clips inside the
// destination bitmap, the source extent inside the source bitmap): every format pair, block,
// scale, mirror, stride sign and clip set must stay inside the bitmaps and give the caller's
// rectangle back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/stretch/stretch_blt.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint32_t Byte() { return at < size ? data[at++] : 0; }
    int Range(int lo, int hi) { return lo + int(Byte() % unsigned(hi - lo + 1)); }
};

struct Pair {
    int sourceBpp, destBpp;
    bool palette;
};
const Pair kPairs[] = {{1, 32, true},   {1, 8, true},    {1, 24, true},   {8, 32, true},   {8, 8, true},
                       {8, 24, true},   {4, 32, true},   {4, 8, true},    {4, 24, true},   {1, 1, false},
                       {4, 4, false},   {8, 8, false},   {16, 24, false}, {16, 16, false}, {24, 24, false},
                       {32, 32, false}, {32, 24, false}, {8, 24, false},  {2, 32, true}};

int64_t RowBytes(int bpp, int64_t columns) { return bpp < 8 ? (columns * bpp + 31) / 32 * 4 : columns * (bpp / 8); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    const Pair& pair = kPairs[in.Byte() % (sizeof(kPairs) / sizeof(kPairs[0]))];
    static const RasterRop3 kRops[] = {0xCC, 0x33, 0xEE, 0x66, 0x88, 0x00, 0x1CC};
    const RasterRop3 rop = kRops[in.Byte() % 7];

    const int sx = in.Range(0, 70), sy = in.Range(0, 4);
    const int sw = in.Range(1, 90), sh = in.Range(1, 40);
    const bool sourceBottomUp = in.Byte() & 1;
    const int sourceRows = sy + sh;
    const int64_t sourceStride = RowBytes(pair.sourceBpp, sx + sw) + 4 * in.Range(0, 2);
    std::vector<uint8_t> source(size_t(sourceStride * sourceRows));
    for (size_t i = 0; i < source.size(); ++i) source[i] = uint8_t(i * 131 + in.Byte());
    std::vector<uint8_t> palette(1024, 0x3C);

    const int destWidth = in.Range(1, 200), destHeight = in.Range(1, 60);
    const bool destBottomUp = in.Byte() & 1;
    const int64_t destStride = RowBytes(pair.destBpp, destWidth);
    std::vector<uint8_t> dest(size_t(destStride * destHeight), 0x5A);

    BltBitmap src{sourceBottomUp ? source.data() + (sourceRows - 1) * sourceStride : source.data(),
                  int32_t(sourceBottomUp ? -sourceStride : sourceStride),
                  sx,
                  sy,
                  sw,
                  (in.Byte() & 1) ? -sh : sh,
                  pair.sourceBpp,
                  pair.palette ? palette.data() : nullptr};
    BltBitmap dst{destBottomUp ? dest.data() + (destHeight - 1) * destStride : dest.data(),
                  int32_t(destBottomUp ? -destStride : destStride),
                  0,
                  0,
                  destWidth,
                  destHeight,
                  pair.destBpp,
                  nullptr};

    // The destination rectangle may reach beyond the bitmap; the clips may not.
    RECT rect{in.Range(-50, 250), in.Range(-20, 80), in.Range(-50, 250), in.Range(-20, 80)};
    const RECT given = rect;
    RECT clips[4];
    const int count = in.Range(-1, 4);
    for (int i = 0; i < 4; ++i) {
        const int l = in.Range(0, destWidth), t = in.Range(0, destHeight);
        clips[i] = RECT{l, t, in.Range(l, destWidth), in.Range(t, destHeight)};
    }
    RasterStretchBlt(&dst, &src, nullptr, &rect, clips, count, rop, 0);
    if (rect.left != given.left || rect.top != given.top || rect.right != given.right || rect.bottom != given.bottom) {
        std::abort();
    }
    return 0;
}
