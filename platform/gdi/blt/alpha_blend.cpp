// AlphaBlend: constant and per-pixel (premultiplied) alpha, rounded exactly by 255.
#include <algorithm>
#include <cstring>

#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

inline uint32_t Div255(uint32_t v) { return (v + 127) / 255; }

// The blend of one run of pixels when both pages have the plain 32-bit layout (blue, green, red,
// alpha bytes): the sums of the general loop on the bytes themselves, in 16-bit lanes (every sum
// stays below 65,536) and in pieces with every byte treated alike, so that the compiler does
// them many at a time.
void BlendPlainRow(const uint8_t* srcRow, uint8_t* dst, const int32_t* columns, int64_t count, bool unscaled,
                   uint32_t constant, bool perPixel)
{
    constexpr int kPiece = 256;
    uint8_t gathered[4 * kPiece];
    uint16_t keep[4 * kPiece];
    const auto c = uint16_t(constant);
    // Without stretching the source columns follow one another and are read where they lie.
    for (int64_t done = 0; done < count; done += kPiece) {
        const int n = int(std::min<int64_t>(kPiece, count - done));
        const uint8_t* source = gathered;
        if (unscaled) source = srcRow + 4 * size_t(columns[done]);
        else
            for (int j = 0; j < n; ++j) std::memcpy(gathered + 4 * j, srcRow + 4 * size_t(columns[done + j]), 4);
        uint8_t* d = dst + 4 * done;
        if (perPixel) {
            // out = min(255, s * c / 255 + d * (255 - a) / 255), a = alpha * c / 255, each rounded;
            // for the alpha byte s is the alpha itself, which gives min(255, a + d * (255 - a) / 255).
            for (int j = 0; j < n; ++j) {
                const auto k = uint16_t(255 - uint16_t(source[4 * j + 3] * c + 127) / 255);
                keep[4 * j] = keep[4 * j + 1] = keep[4 * j + 2] = keep[4 * j + 3] = k;
            }
            for (int i = 0; i < 4 * n; ++i) {
                const uint16_t v = uint16_t(uint16_t(source[i] * c + 127) / 255 + uint16_t(d[i] * keep[i] + 127) / 255);
                d[i] = uint8_t(v > 255 ? 255 : v);
            }
        } else {
            const auto k = uint16_t(255 - c);
            for (int i = 0; i < 4 * n; ++i) d[i] = uint8_t(uint16_t(source[i] * c + d[i] * k + 127) / 255);
        }
    }
}

}  // namespace
}  // namespace gdi

using namespace gdi;

BOOL AlphaBlend(HDC dstHandle, int x, int y, int width, int height, HDC srcHandle, int srcX, int srcY, int srcWidth,
                int srcHeight, BLENDFUNCTION blend)
{
    Dc* dc = Get<Dc>(dstHandle);
    Dc* srcDc = Get<Dc>(srcHandle);
    if (!dc || !srcDc) return FALSE;
    DcLock calls(dc, srcDc);
    const Dib& src = srcDc->bitmap->dib;
    Dib& dst = dc->bitmap->dib;
    const bool perPixel = blend.AlphaFormat & AC_SRC_ALPHA;
    int64_t dx, dy, dw, dh, sx, sy, sw, sh;
    if (blend.BlendOp != AC_SRC_OVER || blend.BlendFlags != 0 || (blend.AlphaFormat & ~AC_SRC_ALPHA) ||
        (perPixel && src.bpp != 32) || !MapRect(*dc, x, y, width, height, dx, dy, dw, dh) ||
        !MapRect(*srcDc, srcX, srcY, srcWidth, srcHeight, sx, sy, sw, sh) || dw < 0 || dh < 0 || sw < 0 || sh < 0 ||
        sx < 0 || sy < 0 || sx + sw > src.width || sy + sh > src.height) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return TRUE;
    const int64_t cx0 = std::max<int64_t>(dx, 0), cx1 = std::min<int64_t>(dx + dw, dst.width);
    const int64_t cy0 = std::max<int64_t>(dy, 0), cy1 = std::min<int64_t>(dy + dh, dst.height);
    if (cx0 >= cx1 || cy0 >= cy1) return TRUE;
    Axis ax, ay;
    AxisBuild(ax, dx, dw, sx, sw, false, cx0, cx1, src.width);
    AxisBuild(ay, dy, dh, sy, sh, false, cy0, cy1, src.height);

    pixman_region32_t visible;
    DcVisibleRegion(*dc, &visible);
    pixman_region32_intersect_rect(&visible, &visible, int32_t(cx0), int32_t(cy0), uint32_t(cx1 - cx0),
                                   uint32_t(cy1 - cy0));
    int boxCount = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&visible, &boxCount);
    const uint32_t constant = blend.SourceConstantAlpha;
    // A 32-bit destination in the plain layout keeps an alpha byte on top.
    const bool dstAlpha = dst.bpp == 32 && dst.masks[0] == 0xFF0000 && dst.masks[1] == 0xFF00 && dst.masks[2] == 0xFF;
    const bool srcPlain = src.bpp == 32 && src.masks[0] == 0xFF0000 && src.masks[1] == 0xFF00 && src.masks[2] == 0xFF;
    for (int b = 0; b < boxCount; ++b) {
        if (srcPlain && dstAlpha) {
            for (int64_t yy = boxes[b].y1; yy < boxes[b].y2; ++yy)
                BlendPlainRow(src.Row(ay.map[size_t(yy - ay.first)]), dst.Row(int32_t(yy)) + 4 * boxes[b].x1,
                              ax.map.data() + (boxes[b].x1 - ax.first), boxes[b].x2 - boxes[b].x1, sw == dw, constant,
                              perPixel);
            continue;
        }
        for (int64_t yy = boxes[b].y1; yy < boxes[b].y2; ++yy) {
            const uint8_t* srcRow = src.Row(ay.map[size_t(yy - ay.first)]);
            uint8_t* dstRow = dst.Row(int32_t(yy));
            for (int64_t xx = boxes[b].x1; xx < boxes[b].x2; ++xx) {
                const uint32_t sv = PixelRead(srcRow, ax.map[size_t(xx - ax.first)], src.bpp);
                const uint32_t dv = PixelRead(dstRow, int32_t(xx), dst.bpp);
                const COLORREF sc = NativeToColor(src, sv), dcol = NativeToColor(dst, dv);
                const uint32_t s[3] = {GetRValue(sc), GetGValue(sc), GetBValue(sc)};
                const uint32_t d[3] = {GetRValue(dcol), GetGValue(dcol), GetBValue(dcol)};
                const uint32_t sA = src.bpp == 32 ? sv >> 24 : 0, dA = dv >> 24;
                uint32_t out[3], outA;
                if (perPixel) {
                    const uint32_t a = Div255(sA * constant);
                    for (int i = 0; i < 3; ++i)
                        out[i] = std::min<uint32_t>(255, Div255(s[i] * constant) + Div255(d[i] * (255 - a)));
                    outA = std::min<uint32_t>(255, a + Div255(dA * (255 - a)));
                } else {
                    for (int i = 0; i < 3; ++i) out[i] = Div255(s[i] * constant + d[i] * (255 - constant));
                    outA = Div255(sA * constant + dA * (255 - constant));
                }
                uint32_t value = ColorToNative(dst, RGB(out[0], out[1], out[2]));
                if (dstAlpha) value = (value & 0xFFFFFF) | outA << 24;
                PixelPut(dstRow, int32_t(xx), dst.bpp, value);
            }
        }
    }
    pixman_region32_fini(&visible);
    return TRUE;
}
