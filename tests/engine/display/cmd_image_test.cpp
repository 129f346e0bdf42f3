// The image commands drawn into band surfaces, band by band over the same page, against
// per-pixel references: nearest-pixel stretches (mirrored, clipped by the band), TransparentBlt's
// left-out colour and AlphaBlend's exact rounding; and the records' edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "tests/support/bitmap_test_support.h"
#include "tests/support/display_job.h"

namespace {

std::vector<uint8_t> StretchRecord(RECT source, RECT destination, uint32_t bitmap, uint16_t rop = 0xCCCC,
                                   uint32_t clip = 0)
{
    return Cat({Le({source.left, source.top, source.right, source.bottom}),
                Le({destination.left, destination.top, destination.right, destination.bottom}),
                Le({0, 0}),
                std::vector<uint8_t>(24),
                Le({clip, bitmap, 0, 0}),
                Le({rop}, 2),
                {0, 0}});
}
std::vector<uint8_t> BitBltRecord(RECT destination, POINT source, uint32_t bitmap, uint32_t rop = 0xCCCC)
{
    return Cat({Le({destination.left, destination.top, destination.right, destination.bottom}),
                Le({source.x, source.y}), Le({0, 0, 0, 0}), Le({0, 0, bitmap, 0, rop})});
}
std::vector<uint8_t> TransparentRecord(RECT source, RECT destination, uint32_t bitmap, uint32_t colour)
{
    return Cat({Le({source.left, source.top, source.right, source.bottom}),
                Le({destination.left, destination.top, destination.right, destination.bottom}),
                Le({0, bitmap, colour})});
}
std::vector<uint8_t> AlphaRecord(RECT source, RECT destination, uint32_t bitmap, uint16_t flags, uint8_t alpha)
{
    return Cat({Le({source.left, source.top, source.right, source.bottom}),
                Le({destination.left, destination.top, destination.right, destination.bottom}),
                Le({0, bitmap}),
                Le({flags}, 2),
                {alpha, 0}});
}

// A page of width x height 24-bit pixels (B, G, R), top-down, starting white.
struct Page {
    int width, height;
    std::vector<uint8_t> bgr;
    Page(int w, int h) : width(w), height(h), bgr(size_t(w) * h * 3, 255) {}
    uint8_t* at(int x, int y) { return &bgr[(size_t(y) * width + x) * 3]; }
};

// Draws every node of the list into bands of the given height and gathers the page.
Page DrawInBands(BitmapJob& job, int width, int height, int bandHeight)
{
    Page page(width, height);
    for (int top = 0; top < height; top += bandHeight) {
        const int rows = std::min(bandHeight, height - top);
        BandSurface* s = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{width, rows}, nullptr, 0, 0);
        std::memset(s->bits, 255, s->bytes);
        SetWindowOrgEx(s->drawDC, 0, top, nullptr);
        const RECT band{0, top, width, top + rows};
        for (CmdNode* n = CmdListFirst(&job.list); n != CmdListEnd(&job.list); n = n->next)
            CmdRow(n).draw(n, job.store, s, &band, nullptr);
        for (int y = 0; y < rows; ++y)
            std::memcpy(page.at(0, top + y), s->bits + size_t(y) * s->stride, size_t(width) * 3);
        BandSurfaceDestroy(s);
    }
    return page;
}

// The test image: width x height 24-bit pixels, top-down in the record (negative height).
struct Image {
    int width, height;
    std::vector<uint8_t> rows;  // padded to 4 bytes
    const uint8_t* at(int x, int y) const { return &rows[size_t(y) * BitmapRowBytes(24, width) + 3 * x]; }
};
Image MakeImage(int w, int h, uint32_t seed)
{
    Image image{w, h, std::vector<uint8_t>(size_t(BitmapRowBytes(24, w)) * h)};
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &image.rows[size_t(y) * BitmapRowBytes(24, w) + 3 * x];
            p[0] = uint8_t(random());
            p[1] = uint8_t(random());
            p[2] = uint8_t(random());
        }
    return image;
}

TEST(ImageCommands, StretchedAndMirroredEqualANearestPixelReferenceInEveryBandCut)
{
    const int W = 64, H = 48;
    const Image image = MakeImage(13, 9, 7);
    struct Case {
        const char* what;
        RECT source, destination;
    } cases[] = {
        {"enlarged", {1, 2, 11, 8}, {3, 5, 50, 40}},
        {"shrunk", {0, 0, 13, 9}, {10, 10, 16, 14}},
        {"mirrored in x", {0, 0, 13, 9}, {60, 4, 2, 30}},
        {"mirrored in both", {2, 1, 12, 9}, {40, 47, 5, 0}},
        {"partly off the page", {0, 0, 13, 9}, {-20, 30, 80, 70}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {70, image.width, -image.height, 24, 0, {}, image.rows});
        body.Raw(21, 0, StretchRecord(c.source, c.destination, 70));
        ASSERT_EQ(job.Read(body), 1);
        // The reference: every destination pixel takes the source pixel nearest its top-left corner.
        Page expected(W, H);
        const RECT& d = c.destination;
        const bool mx = d.right < d.left, my = d.bottom < d.top;
        const int left = std::min(d.left, d.right), right = std::max(d.left, d.right);
        const int top = std::min(d.top, d.bottom), bottom = std::max(d.top, d.bottom);
        const int sw = c.source.right - c.source.left, sh = c.source.bottom - c.source.top;
        for (int y = std::max(top, 0); y < std::min(bottom, H); ++y)
            for (int x = std::max(left, 0); x < std::min(right, W); ++x) {
                const int u = mx ? right - 1 - x : x - left, v = my ? bottom - 1 - y : y - top;
                const uint8_t* s =
                    image.at(c.source.left + u * sw / (right - left), c.source.top + v * sh / (bottom - top));
                std::memcpy(expected.at(x, y), s, 3);
            }
        for (int band : {H, 16, 7, 1}) {
            SCOPED_TRACE(band);
            EXPECT_EQ(DrawInBands(job, W, H, band).bgr, expected.bgr);
        }
    }
}

// A source area that reaches out of the bitmap reads nothing outside it: those pixels stay.
TEST(ImageCommands, ASourceReachingOutOfTheBitmapLeavesThosePixels)
{
    const Image image = MakeImage(13, 9, 9);
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {74, 13, -9, 24, 0, {}, image.rows});
    body.Raw(21, 0, StretchRecord({0, 0, 26, 9}, {0, 0, 26, 9}, 74));
    ASSERT_EQ(job.Read(body), 1);
    Page expected(32, 12);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x) std::memcpy(expected.at(x, y), image.at(x, y), 3);
    for (int band : {12, 5}) {
        SCOPED_TRACE(band);
        EXPECT_EQ(DrawInBands(job, 32, 12, band).bgr, expected.bgr);
    }
}

// Every pixel whose source lies in the bitmap is copied from it and every other one is left, for
// sources reaching out on each side of bitmaps stored either way up.
TEST(ImageCommands, ACopyReachingOutOfTheBitmapCopiesWhatLiesInside)
{
    struct Case {
        const char* name;
        int kind;  // 19 BitBlt, 20 CopyBits, 21 StretchBlt at its own size
        bool bottomUp;
        POINT source;
        bool mono = false;  // a 1-bit bitmap of the same size, black and white
    };
    const Case cases[] = {
        {"1-bit CopyBits below, top-down", 20, false, {0, 5}, true},
        {"1-bit CopyBits below, bottom-up", 20, true, {0, 5}, true},
        {"1-bit BitBlt right and below", 19, false, {3, 4}, true},
        {"CopyBits below, top-down", 20, false, {2, 5}},
        {"CopyBits below, bottom-up", 20, true, {2, 5}},
        {"CopyBits right and below", 20, false, {8, 6}},
        {"CopyBits above and left", 20, true, {-3, -4}},
        {"BitBlt below, bottom-up", 19, true, {1, 6}},
        {"StretchBlt below, bottom-up", 21, true, {1, 6}},
        {"StretchBlt above, top-down", 21, false, {0, -3}},
    };
    const int W = 30, H = 24;
    const Image image = MakeImage(13, 9, 5);
    const RECT d{4, 3, 16, 14};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapJob job;
        SpoolBuilder body;
        std::vector<uint8_t> rows;
        for (int i = 0; i < image.height; ++i) {
            const int y = c.bottomUp ? image.height - 1 - i : i;
            rows.insert(rows.end(), image.at(0, y), image.at(0, y) + BitmapRowBytes(24, image.width));
        }
        // The 1-bit bitmap: a pixel is white where the colour image's first byte is odd.
        auto white = [&](int x, int y) { return (image.at(x, y)[0] & 1) != 0; };
        if (c.mono) {
            rows.assign(size_t(BitmapRowBytes(1, image.width)) * image.height, 0);
            for (int i = 0; i < image.height; ++i)
                for (int x = 0; x < image.width; ++x)
                    if (white(x, c.bottomUp ? image.height - 1 - i : i))
                        rows[size_t(i) * BitmapRowBytes(1, image.width) + x / 8] |= uint8_t(0x80 >> (x % 8));
        }
        AddBitmap(body, {71, image.width, c.bottomUp ? image.height : -image.height, uint8_t(c.mono ? 1 : 24), 0,
                         c.mono ? std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 0} : std::vector<uint8_t>{}, rows});
        const LONG w = d.right - d.left, h = d.bottom - d.top;
        if (c.kind == 19) body.Raw(19, 0, BitBltRecord(d, c.source, 71));
        if (c.kind == 20)
            body.Raw(20, 0, Cat({Le({c.source.x, c.source.y}), Le({d.left, d.top, d.right, d.bottom}), Le({0, 71})}));
        if (c.kind == 21)
            body.Raw(21, 0, StretchRecord({c.source.x, c.source.y, c.source.x + w, c.source.y + h}, d, 71));
        ASSERT_EQ(job.Read(body), 1);
        Page expected(W, H);
        for (int y = d.top; y < d.bottom; ++y)
            for (int x = d.left; x < d.right; ++x) {
                const int sx = c.source.x + x - d.left, sy = c.source.y + y - d.top;
                if (sx < 0 || sy < 0 || sx >= image.width || sy >= image.height) continue;
                if (c.mono) std::memset(expected.at(x, y), white(sx, sy) ? 255 : 0, 3);
                else std::memcpy(expected.at(x, y), image.at(sx, sy), 3);
            }
        for (int band : {H, 5}) {
            SCOPED_TRACE(band);
            EXPECT_EQ(DrawInBands(job, W, H, band).bgr, expected.bgr);
        }
    }
}

TEST(ImageCommands, BitBltAndCopyBitsCopyAtTheirOwnSizeWhateverTheBands)
{
    const int W = 40, H = 30;
    const Image image = MakeImage(20, 20, 3);
    BitmapJob job;
    SpoolBuilder body;
    // Bottom-up this time: the record's rows run from the last image row up.
    std::vector<uint8_t> bottomUp;
    for (int y = image.height - 1; y >= 0; --y)
        bottomUp.insert(bottomUp.end(), image.at(0, y), image.at(0, y) + BitmapRowBytes(24, image.width));
    AddBitmap(body, {71, image.width, image.height, 24, 0, {}, bottomUp});
    body.Raw(19, 0, BitBltRecord({5, 3, 17, 20}, {4, 1}, 71));
    body.Raw(19, 0, BitBltRecord({0, 0, 40, 30}, {0, 0}, 71, 0xAAAA));  // no command
    ASSERT_EQ(job.Read(body), 1);
    EXPECT_EQ(job.list.count, 1u);
    Page expected(W, H);
    for (int y = 3; y < 20; ++y)
        for (int x = 5; x < 17; ++x) std::memcpy(expected.at(x, y), image.at(4 + x - 5, 1 + y - 3), 3);
    for (int band : {H, 8, 3}) {
        SCOPED_TRACE(band);
        EXPECT_EQ(DrawInBands(job, W, H, band).bgr, expected.bgr);
    }
    // CopyBits draws the same copy.
    BitmapJob copy;
    SpoolBuilder copyBody;
    AddBitmap(copyBody, {71, image.width, image.height, 24, 0, {}, bottomUp});
    copyBody.Raw(20, 0, Cat({Le({4, 1}), Le({5, 3, 17, 20}), Le({0, 71})}));
    ASSERT_EQ(copy.Read(copyBody), 1);
    EXPECT_EQ(DrawInBands(copy, W, H, 7).bgr, expected.bgr);
}

TEST(ImageCommands, TransparentBltLeavesItsColourOut)
{
    const int W = 32, H = 24;
    Image image = MakeImage(8, 6, 11);
    const uint8_t key[3] = {10, 20, 30};  // B, G, R
    for (int i = 0; i < 8 * 6; i += 3) std::memcpy(const_cast<uint8_t*>(image.at(i % 8, i / 8)), key, 3);
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {72, 8, -6, 24, 0, {}, image.rows});
    body.Raw(25, 0, TransparentRecord({0, 0, 8, 6}, {2, 3, 26, 21}, 72, 0x0A141E));
    ASSERT_EQ(job.Read(body), 1);
    Page expected(W, H);
    for (int y = 3; y < 21; ++y)
        for (int x = 2; x < 26; ++x) {
            const uint8_t* s = image.at((x - 2) * 8 / 24, (y - 3) * 6 / 18);
            if (std::memcmp(s, key, 3) != 0) std::memcpy(expected.at(x, y), s, 3);
        }
    for (int band : {H, 5}) {
        SCOPED_TRACE(band);
        EXPECT_EQ(DrawInBands(job, W, H, band).bgr, expected.bgr);
    }
    // The mask copy marks the band mask where the colour is not the key.
    CmdNode* node = CmdListFirst(&job.list);
    BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{W, H}, nullptr, 0, 0);
    std::memset(mask->bits, 0, mask->bytes);
    const RECT band{0, 0, W, H};
    EXPECT_EQ(CmdRow(node).renderBand(node, job.store, mask, &band, &band, &band, 1), CMD_BAND_MASKED);
    int wrong = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const bool set = (mask->bits[size_t(y) * mask->stride + x / 8] >> (7 - x % 8)) & 1;
            const bool inside = x >= 2 && x < 26 && y >= 3 && y < 21;
            const bool keyed = inside && std::memcmp(image.at((x - 2) * 8 / 24, (y - 3) * 6 / 18), key, 3) == 0;
            wrong += set != (inside && !keyed);
        }
    EXPECT_EQ(wrong, 0);
    BandSurfaceDestroy(mask);
}

TEST(ImageCommands, AlphaBlendRoundsExactly)
{
    const int W = 16, H = 12;
    const Image image = MakeImage(16, 12, 5);
    for (uint8_t alpha : {uint8_t(0), uint8_t(1), uint8_t(128), uint8_t(255)}) {
        SCOPED_TRACE(int(alpha));
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {73, 16, -12, 24, 0, {}, image.rows});
        body.Raw(23, 0, AlphaRecord({0, 0, 16, 12}, {0, 0, 16, 12}, 73, 0, alpha));
        ASSERT_EQ(job.Read(body), 1);
        Page expected(W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                for (int k = 0; k < 3; ++k)
                    expected.at(x, y)[k] = uint8_t((image.at(x, y)[k] * alpha + 255 * (255 - alpha) + 127) / 255);
        for (int band : {H, 5}) {
            SCOPED_TRACE(band);
            EXPECT_EQ(DrawInBands(job, W, H, band).bgr, expected.bgr);
        }
    }
}

// AlphaBlend with the bitmap's own alpha (flag 2: premultiplied 32-bit pixels) over a picture, at
// its size and enlarged twice, against GDI's rule rounded exactly by 255 at every step:
// out = min(255, s c / 255 + d (255 - a c / 255) / 255).
TEST(ImageCommands, AlphaBlendWithPerPixelAlphaRoundsExactly)
{
    const int W = 40, H = 26, w = 16, h = 12;
    const Image under = MakeImage(W, H, 6);
    std::mt19937 random(7);
    std::vector<uint8_t> pixels(size_t(w) * h * 4);  // B, G, R, A; colour never above alpha
    for (size_t i = 0; i < pixels.size(); i += 4) {
        const uint8_t a = uint8_t(random() % 4 == 0 ? (random() % 2) * 255 : random());
        pixels[i + 3] = a;
        for (int k = 0; k < 3; ++k) pixels[i + k] = uint8_t(a == 0 ? 0 : random() % (a + 1));
    }
    auto div = [](uint32_t v) { return (v + 127) / 255; };
    for (uint8_t constant : {uint8_t(255), uint8_t(200), uint8_t(1), uint8_t(0)}) {
        for (int scale : {1, 2}) {
            SCOPED_TRACE(std::to_string(constant) + ", enlarged " + std::to_string(scale));
            BitmapJob job;
            SpoolBuilder body;
            AddBitmap(body, {72, W, -H, 24, 0, {}, under.rows});
            AddBitmap(body, {73, w, -h, 32, 0, {}, pixels});
            body.Raw(19, 0, BitBltRecord({0, 0, W, H}, {0, 0}, 72));
            const RECT d{3, 1, 3 + w * scale, 1 + h * scale};
            body.Raw(23, 0, AlphaRecord({0, 0, w, h}, d, 73, 2, constant));
            ASSERT_EQ(job.Read(body), 1);
            Page expected(W, H);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    std::memcpy(expected.at(x, y), under.at(x, y), 3);
                    if (x < d.left || x >= d.right || y < d.top || y >= d.bottom) continue;
                    const uint8_t* p = &pixels[(size_t((y - d.top) / scale) * w + (x - d.left) / scale) * 4];
                    const uint32_t keep = 255 - div(p[3] * constant);
                    for (int k = 0; k < 3; ++k)
                        expected.at(x, y)[k] =
                            uint8_t(std::min<uint32_t>(255, div(p[k] * constant) + div(expected.at(x, y)[k] * keep)));
                }
            for (int band : {H, 5, 1}) {
                SCOPED_TRACE(band);
                EXPECT_EQ(DrawInBands(job, W, H, band).bgr, expected.bgr);
            }
        }
    }
}

TEST(ImageCommands, RecordEdgeCases)
{
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {80, 4, 4, 24, 0, {}, std::vector<uint8_t>(48)});
    body.Raw(23, 0, AlphaRecord({0, 0, 4, 4}, {30, 5, 10, 9}, 80, 0, 128));  // right < left
    body.Raw(23, 0, AlphaRecord({0, 0, 4, 4}, {0, 0, 4, 4}, 80, 2, 255));
    body.Raw(21, 0, StretchRecord({0, 0, 4, 4}, {100, 10, 0, 50}, 80));  // mirrored in x
    body.Raw(21, 0, StretchRecord({0, 0, 4, 4}, {0, 0, 2, 2}, 80, 0xAAAA));  // no command
    body.Raw(21, 0, StretchRecord({0, 0, 4, 4}, {0, 0, 3, 2}, 80));  // shrunk
    ASSERT_EQ(job.Read(body), 1);
    std::vector<CmdNode*> nodes;
    for (CmdNode* n = CmdListFirst(&job.list); n != CmdListEnd(&job.list); n = n->next) nodes.push_back(n);
    ASSERT_EQ(nodes.size(), 4u);
    {
        // A shrinking copy is drawn and restored, not rendered from its converted copy.
        uint32_t solid = 0;
        uint8_t byte = 0;
        EXPECT_EQ(CmdRow(nodes[3]).colorClassGet(nodes[3], &solid, &byte, 0), CMD_COLOR_DRAW_RESTORE);
    }
    EXPECT_EQ(nodes[0]->bounds, (RECT{10, 5, 30, 9}));
    uint32_t colour = 0;
    uint8_t hint = 0;
    EXPECT_EQ(CmdRow(nodes[0]).colorClassGet(nodes[0], &colour, &hint, 0), CMD_COLOR_LEVEL_IMAGE);
    const auto* stretch = reinterpret_cast<const CmdImageNode*>(nodes[2]);
    EXPECT_EQ(stretch->x, 99);
    EXPECT_EQ(stretch->width, -100);
    EXPECT_EQ(nodes[2]->bounds, (RECT{0, 10, 100, 50}));
    // Enlargements render their own pixels, but only a kind that can: the band loop would take
    // its image from whatever an empty CmdRenderDirect left in the buffer.
    const int enlarged = CmdRow(nodes[2]).colorClassGet(nodes[2], &colour, &hint, 0);
    EXPECT_EQ(enlarged,
              CmdSlotFilled(CmdOpStretchBlt, CmdSlotRenderDirectNode) ? CMD_COLOR_DIRECT : CMD_COLOR_DRAW_RESTORE);
    EXPECT_EQ(hint, CMD_HINT_IMAGE);

    // A command naming a missing bitmap fails its page, releasing what it took.
    BitmapJob missing;
    SpoolBuilder bad;
    AddBitmap(bad, {81, 4, 4, 24, 0, {}, std::vector<uint8_t>(48)});
    bad.Raw(21, 0, StretchRecord({0, 0, 4, 4}, {0, 0, 4, 4}, 82));
    bad.Raw(25, 0, TransparentRecord({0, 0, 4, 4}, {0, 0, 4, 4}, 81, 0));
    EXPECT_EQ(missing.Read(bad), 0);
}

TEST(ImageCommands, ARunLengthBitmapHasNoTransparentMask)
{
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {90, 4, 1, 8, 2, {0, 0, 0, 0, 255, 255, 255, 0}, {4, 1, 0, 1}});
    body.Raw(25, 0, TransparentRecord({0, 0, 4, 1}, {0, 0, 4, 1}, 90, 1));
    ASSERT_EQ(job.Read(body), 1);
    CmdNode* node = CmdListFirst(&job.list);
    uint32_t colour = 0;
    uint8_t hint = 0;
    EXPECT_EQ(CmdRow(node).colorClassGet(node, &colour, &hint, 0), CMD_COLOR_DRAW_RESTORE);
    BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{8, 4}, nullptr, 0, 0);
    const RECT band{0, 0, 8, 4};
    EXPECT_EQ(CmdRow(node).renderBand(node, job.store, mask, &band, &band, &band, 0), CMD_BAND_NO_MASK);
    BandSurfaceDestroy(mask);
}

}  // namespace
