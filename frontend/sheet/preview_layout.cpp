#include "frontend/sheet/preview_layout.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kScaleBase = 1150.0;

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

}  // namespace

RECT PreviewSquare(const RECT& area)
{
    RECT square = area;
    const LONG w = Width(area), h = Height(area);
    if (w > h) {
        square.left = area.left + (w - h) / 2;
        square.right = square.left + h;
    } else if (h > w) {
        square.top = area.top + (h - w) / 2;
        square.bottom = square.top + w;
    }
    return square;
}

int CoverPagePreviewLayout(const RECT& square, RECT* page, LONG paperWidth, LONG paperHeight, int orientation)
{
    if (paperWidth <= 0 || paperHeight <= 0) {
        paperWidth = 2159;
        paperHeight = 2794;
    }
    const int64_t w = paperWidth, h = paperHeight;
    const int64_t sw = Width(square), sh = Height(square);
    const bool portraitPaper = h >= w;
    const int64_t f = portraitPaper ? 1000 * h / w : 1000 * w / h;
    const int64_t d = portraitPaper ? sh * 1000 / (2 * f) : sw * 1000 / (2 * f);
    int pageClass;
    bool narrow;  // 2d wide, full height
    if (portraitPaper) {
        narrow = orientation == 1;
        pageClass = orientation == 1 ? 1 : orientation;
    } else {
        narrow = orientation != 1;
        pageClass = orientation == 1 ? 2 : 1;
    }
    int64_t left = square.left, top = square.top, right = square.right, bottom = square.bottom;
    if (narrow) {
        left = square.left + (sw - 2 * d) / 2;
        right = left + 2 * d;
    } else {
        top = square.top + (sh - 2 * d) / 2;
        bottom = top + 2 * d;
    }
    // Against the Legal length, so that longer paper shows larger.
    const int64_t legal = 10000 * std::max(w, h) / kLegalLength;
    const int64_t shrinkX = (right - left) * (1000 - legal) / 2000, shrinkY = (bottom - top) * (1000 - legal) / 2000;
    left += shrinkX;
    right -= shrinkX;
    top += shrinkY;
    bottom -= shrinkY;
    const int64_t insetX = static_cast<int16_t>((right - left) / 10),
                  insetY = static_cast<int16_t>((bottom - top) / 10);
    *page = {static_cast<LONG>(left + insetX), static_cast<LONG>(top + insetY), static_cast<LONG>(right - insetX),
             static_cast<LONG>(bottom - insetY)};
    return pageClass;
}

PicturePlacement PicturePlace(const RECT& coverPage, LONG bw, LONG bh, int scale, int x, int y, int* fitScale)
{
    PicturePlacement out{};
    const int64_t aw = Width(coverPage) - 4, ah = Height(coverPage) - 4;
    if (aw <= 0 || ah <= 0 || bw <= 0 || bh <= 0) return out;
    scale = std::clamp(scale, 10, 400);
    const auto drawn = [](int64_t pixels, int s) {
        return static_cast<int64_t>(std::trunc(s * static_cast<double>(pixels) / kScaleBase));
    };
    if (*fitScale == 0) {
        const bool widthLimits = static_cast<double>(drawn(bw, scale)) / static_cast<double>(aw) >
                                 static_cast<double>(drawn(bh, scale)) / static_cast<double>(ah);
        const int64_t room = widthLimits ? aw : ah, pixels = widthLimits ? bw : bh;
        int64_t m =
            static_cast<int64_t>(std::trunc(static_cast<double>(room) * kScaleBase / static_cast<double>(pixels)));
        if (drawn(pixels, static_cast<int>(std::min<int64_t>(m + 1, 1 << 20))) <= room) ++m;
        *fitScale = static_cast<int>(std::clamp<int64_t>(m, 1, 1 << 20));
    }
    if (*fitScale < scale) scale = *fitScale;
    const int64_t dw = drawn(bw, scale), dh = drawn(bh, scale);
    const int64_t vw = std::min(aw, dw), vh = std::min(ah, dh);
    int64_t ox = x * (aw - vw) / 100, oy = y * (ah - vh) / 100;
    int64_t sourceW = bw, sourceH = bh, sizeW = vw, sizeH = vh;
    // A picture reaching the right or bottom edge takes only the source pixels that show.
    if (coverPage.left + vw + ox - coverPage.right + 2 >= 0) {
        sourceW = std::min<int64_t>(bw, (coverPage.right - (coverPage.left + ox)) * 1150 / scale);
        sizeW = std::min(vw, drawn(sourceW, scale));
    }
    if (coverPage.top + vh + oy - coverPage.bottom + 2 >= 0) {
        sourceH = std::min<int64_t>(bh, (coverPage.bottom - (coverPage.top + oy)) * 1150 / scale);
        sizeH = std::min(vh, drawn(sourceH, scale));
    }
    // A small positive percentage still moves the picture off the edge, where there is room.
    if (ox == 0 && x > 0 && aw > vw) ox = 1;
    if (oy == 0 && y > 0 && ah > vh) oy = 1;
    out.drawn = vw > 0 && vh > 0;
    out.scale = scale;
    out.at = {static_cast<LONG>(coverPage.left + ox + 2), static_cast<LONG>(coverPage.top + oy + 2)};
    out.size = {static_cast<LONG>(sizeW), static_cast<LONG>(sizeH)};
    out.source = {static_cast<LONG>(sourceW), static_cast<LONG>(sourceH)};
    out.picture = {static_cast<LONG>(coverPage.left + ox), static_cast<LONG>(coverPage.top + oy),
                   static_cast<LONG>(coverPage.left + ox + vw), static_cast<LONG>(coverPage.top + oy + vh)};
    return out;
}

POINT PictureDragPercent(POINT pointer, POINT grab, const RECT& coverPage, const RECT& picture, POINT current)
{
    const int64_t freeX = Width(coverPage) - Width(picture), freeY = Height(coverPage) - Height(picture);
    POINT out = current;
    if (freeX != 0)
        out.x = static_cast<LONG>(
            std::clamp<int64_t>((int64_t{pointer.x} - coverPage.left - grab.x) * 100 / freeX, 0, 100));
    if (freeY != 0)
        out.y =
            static_cast<LONG>(std::clamp<int64_t>((int64_t{pointer.y} - coverPage.top - grab.y) * 100 / freeY, 0, 100));
    return out;
}
