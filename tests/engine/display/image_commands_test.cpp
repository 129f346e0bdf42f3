// Image commands beside the masked ones: a brush drawn through a black-and-white bitmap, direct
// images converted as they are copied, the optimiser's Blts command and masks that accumulate
// under a blended overlay, each on both band roads against a per-pixel reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/engine/display/masked_image_fixture.h"

namespace {

// A brush drawn through a black-and-white bitmap: 0xB8B8 paints the brush where the bitmap is
// black, 0xE2E2 where it is white, 0x8888 (AND) makes the black pixels black. Bitmaps of 1 bit in
// both palette orders and of 24 bits, at their size and stretched, on both roads, at page scales
// of 1, 3/2 and 2/3.
TEST(MonoBitmapRops, TheBrushGoesWhereTheBitmapSays)
{
    const Colours page = MakeColours(W, H, 7);
    const Mask shape = MakeMask(20, 16, 8);
    const uint32_t brush = 0x2080C0;
    struct Mono {
        const char* what;
        bool stretch;
        uint8_t depth;
        bool whiteFirst;
        uint16_t rop;
        RECT destination;
    } cases[] = {
        {"1-bit, brush on black", false, 1, false, 0xB8B8, {5, 4, 25, 20}},
        {"1-bit white first, brush on black", false, 1, true, 0xB8B8, {5, 4, 25, 20}},
        {"1-bit, brush on white", false, 1, false, 0xE2E2, {30, 10, 50, 26}},
        {"1-bit white first, brush on white", false, 1, true, 0xE2E2, {30, 10, 50, 26}},
        {"1-bit, black pixels made black", false, 1, false, 0x8888, {-4, 30, 16, 46}},
        {"24-bit, brush on black", false, 24, false, 0xB8B8, {40, 20, 60, 36}},
        {"24-bit, brush on white", false, 24, false, 0xE2E2, {40, 20, 60, 36}},
        {"1-bit stretched twice, brush on black", true, 1, false, 0xB8B8, {10, 2, 50, 34}},
        {"24-bit stretched twice, brush on white", true, 24, false, 0xE2E2, {10, 2, 50, 34}},
        {"RLE8, brush on black", false, 8, false, 0xB8B8, {5, 4, 25, 20}},
        {"RLE8 stretched twice, brush on white", true, 8, false, 0xE2E2, {10, 2, 50, 34}},
    };
    for (const Mono& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
        // White where the shape's bit is 1, whatever way the bitmap stores it.
        std::vector<uint8_t> rows, palette;
        if (c.depth == 1) {
            rows = shape.rows;
            if (c.whiteFirst)
                for (uint8_t& b : rows) b = uint8_t(~b);
            palette = MaskPalette(c.whiteFirst);
        } else if (c.depth == 8) {  // run length over black and white, which only GDI reads
            rows.assign(size_t(BitmapRowBytes(8, shape.w)) * shape.h, 0);
            for (int y = 0; y < shape.h; ++y)
                for (int x = 0; x < shape.w; ++x)
                    rows[size_t(y) * BitmapRowBytes(8, shape.w) + x] = uint8_t(shape.bit(x, y));
            rows = RunLengthEncode(rows, shape.w, shape.h, 8, -1, 0, 0);
            palette = MaskPalette(false);
        } else {
            rows.assign(size_t(BitmapRowBytes(24, shape.w)) * shape.h, 0);
            for (int y = 0; y < shape.h; ++y)
                for (int x = 0; x < shape.w; ++x)
                    if (shape.bit(x, y)) std::fill_n(&rows[size_t(y) * BitmapRowBytes(24, shape.w) + 3 * x], 3, 255);
        }
        AddBitmap(body, {kImage, shape.w, c.depth == 8 ? shape.h : -shape.h, c.depth, uint8_t(c.depth == 8 ? 2 : 0),
                         palette, rows});
        PageCopy(body, W, H);
        const RECT& d = c.destination;
        const int64_t colourId = 0x80000000 | brush;
        if (c.stretch) {
            body.Raw(21, 0,
                     Cat({Le({0, 0, shape.w, shape.h}),
                          Le({d.left, d.top, d.right, d.bottom}),
                          Le({0, 0}),
                          std::vector<uint8_t>(24),
                          Le({0, kImage, 0, colourId}),
                          Le({c.rop}, 2),
                          {0, 0}}));
        } else {
            body.Raw(19, 0,
                     Cat({Le({d.left, d.top, d.right, d.bottom}), Le({0, 0}), Le({0, 0}), Le({0, 0}),
                          Le({colourId, 0, kImage, 0, c.rop})}));
        }
        ASSERT_EQ(job.Read(body), 1);
        // At page scales that are not whole numbers too: device pixel i of the destination takes
        // source pixel i * source / destination, as elsewhere, on both roads.
        for (const Mapping m : {Mapping{1}, Mapping{3, 2}, Mapping{2, 3}}) {
            const int pw = m.Map(W), ph = m.Map(H);
            Image want(pw, ph);
            for (int y = 0; y < ph; ++y)
                for (int x = 0; x < pw; ++x) want.at(x, y) = page.at(x * W / pw, y * H / ph);
            const int left = m.Map(d.left), right = m.Map(d.right), top = m.Map(d.top), bottom = m.Map(d.bottom);
            const int sw = c.stretch ? shape.w : d.right - d.left, sh = c.stretch ? shape.h : d.bottom - d.top;
            for (int y = std::max(top, 0); y < std::min(bottom, ph); ++y)
                for (int x = std::max(left, 0); x < std::min(right, pw); ++x) {
                    const bool white = shape.bit((x - left) * sw / (right - left), (y - top) * sh / (bottom - top));
                    if (c.rop == 0xB8B8 && !white) want.at(x, y) = brush;
                    if (c.rop == 0xE2E2 && white) want.at(x, y) = brush;
                    if (c.rop == 0x8888 && !white) want.at(x, y) = 0;
                }
            for (int band : {ph, 7, 1}) ExpectRoads(job, want, m, band, true);
        }
    }
}

// Images that render their own pixels (palette bitmaps at their size, enlargements of any depth)
// are converted once to the output format and stretched straight into the band; the mask road
// takes that road, the GDI road draws them, and both equal a nearest-pixel reference.
TEST(DirectImages, ConvertedCopiesGiveTheReferencePixels)
{
    const Colours page = MakeColours(W, H, 11);
    struct Direct {
        const char* what;
        uint8_t depth;
        bool stretch;
        int w, h;
        RECT destination;  // BitBlt and CopyBits: the source point is (1, 2)
        bool copyBits = false;
    } cases[] = {
        {"1-bit at its size", 1, false, 21, 13, {3, 4, 23, 15}},
        {"4-bit at its size", 4, false, 19, 12, {30, 20, 47, 30}},
        {"8-bit at its size", 8, false, 17, 11, {-5, 30, 11, 39}},
        {"8-bit enlarged three times", 8, true, 9, 7, {20, 5, 47, 26}},
        {"24-bit enlarged twice", 24, true, 15, 9, {2, 12, 32, 30}},
        {"32-bit enlarged twice", 32, true, 13, 10, {40, 1, 66, 21}},
        {"8-bit copied by CopyBits", 8, false, 17, 11, {44, 25, 60, 34}, true},
    };
    for (const Direct& c : cases) {
        SCOPED_TRACE(c.what);
        std::mt19937 random(c.depth * 7u + c.w);
        std::vector<uint8_t> palette;
        std::vector<uint32_t> colours;  // COLORREF of each palette entry
        if (c.depth <= 8)
            for (int i = 0; i < (1 << c.depth); ++i) {
                const uint32_t v = random() & 0xFFFFFF;
                colours.push_back(v);
                palette.insert(palette.end(), {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v), 0});
            }
        const uint32_t rowBytes = BitmapRowBytes(c.depth, c.w);
        std::vector<uint8_t> rows(size_t(rowBytes) * c.h);
        std::vector<uint32_t> pixel(size_t(c.w) * c.h);  // COLORREF per source pixel
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                uint8_t* row = &rows[size_t(y) * rowBytes];
                uint32_t& out = pixel[size_t(y) * c.w + x];
                if (c.depth <= 8) {
                    const uint32_t index = random() % (1u << c.depth);
                    const int shift = 8 - c.depth - (x * c.depth) % 8;
                    row[x * c.depth / 8] |= uint8_t(index << shift);
                    out = colours[index];
                } else {
                    out = random() & 0xFFFFFF;
                    uint8_t* p = row + x * (c.depth / 8);
                    p[0] = uint8_t(out >> 16), p[1] = uint8_t(out >> 8), p[2] = uint8_t(out);
                }
            }
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
        AddBitmap(body, {kImage, c.w, -c.h, c.depth, 0, palette, rows});
        PageCopy(body, W, H);
        const RECT& d = c.destination;
        if (c.stretch) {
            body.Raw(21, 0,
                     Cat({Le({0, 0, c.w, c.h}),
                          Le({d.left, d.top, d.right, d.bottom}),
                          Le({0, 0}),
                          std::vector<uint8_t>(24),
                          Le({0, kImage, 0, 0}),
                          Le({0xCCCC}, 2),
                          {0, 0}}));
        } else if (c.copyBits) {
            body.Raw(20, 0, Cat({Le({1, 2}), Le({d.left, d.top, d.right, d.bottom}), Le({0, kImage})}));
        } else {
            body.Raw(19, 0,
                     Cat({Le({d.left, d.top, d.right, d.bottom}), Le({1, 2}), Le({0, 0}), Le({0, 0}),
                          Le({0, 0, kImage, 0, 0xCCCC})}));
        }
        ASSERT_EQ(job.Read(body), 1);
        uint32_t solid = 0;
        uint8_t hint = 0;
        EXPECT_EQ(CmdRow(job.Nodes().back()).colorClassGet(job.Nodes().back(), &solid, &hint, 0), CMD_COLOR_DIRECT);
        Image want(W, H);
        want.px = page.px;
        const int dw = d.right - d.left, dh = d.bottom - d.top;
        for (int y = std::max<LONG>(d.top, 0); y < std::min<LONG>(d.bottom, H); ++y)
            for (int x = std::max<LONG>(d.left, 0); x < std::min<LONG>(d.right, W); ++x) {
                const int u = x - d.left, v = y - d.top;
                const int sx = c.stretch ? u * c.w / dw : 1 + u, sy = c.stretch ? v * c.h / dh : 2 + v;
                want.at(x, y) = pixel[size_t(sy) * c.w + sx];
            }
        const Mapping one{1};
        for (int band : {H, 7, 1}) {
            SCOPED_TRACE(band);
            EXPECT_EQ(Diff(MaskRoad(job, W, H, one, band), want), "") << "direct road";
            EXPECT_EQ(Diff(DrawRoad(job, W, H, one, band), want), "") << "GDI road";
        }
    }
}

}  // namespace

namespace {

// A Blts command made as the optimiser makes it: two bitmaps, each scaled onto its destination
// and shown only in its visible rectangle, on both roads (its own pixels rendered directly on the
// band renderer's) against a nearest-pixel reference.
TEST(BltsCommand, EachItemIsScaledIntoItsVisibleRectangle)
{
    const Colours first = MakeColours(10, 8, 5), second = MakeColours(16, 12, 6);
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {91, first.w, -first.h, 24, 0, {}, first.rows});
    AddBitmap(body, {92, second.w, -second.h, 24, 0, {}, second.rows});
    ASSERT_EQ(job.Read(body), 1);
    struct Item {
        const Colours* image;
        uint32_t id;
        RECT source, destination, visible;
    } items[] = {
        {&first, 91, {1, 1, 9, 7}, {2, 3, 34, 27}, {5, 0, 30, 20}},
        {&second, 92, {0, 0, 16, 12}, {30, 10, 62, 38}, {0, 0, 64, 40}},
    };
    CmdNode* node = BltsCreate(job.store, 2);
    ASSERT_NE(node, nullptr);
    uint32_t colour = 0;
    uint8_t hint = 0;
    EXPECT_EQ(CmdRow(node).renderBand(node, job.store, nullptr, nullptr, nullptr, nullptr, 1), CMD_BAND_NOTHING);
    Image want(W, H);
    for (const Item& it : items) {
        RECT bounds{};
        IntersectRect(&bounds, &it.destination, &it.visible);
        ASSERT_EQ(BltsAdd(node, job.store, &bounds, &it.source, &it.destination, &it.visible, job.Get(it.id), 0), 1);
        const RECT& d = it.destination;
        const int sw = it.source.right - it.source.left, sh = it.source.bottom - it.source.top;
        for (int y = std::max(d.top, it.visible.top); y < std::min({d.bottom, it.visible.bottom, LONG(H)}); ++y)
            for (int x = std::max(d.left, it.visible.left); x < std::min({d.right, it.visible.right, LONG(W)}); ++x)
                want.at(x, y) = it.image->at(it.source.left + (x - d.left) * sw / (d.right - d.left),
                                             it.source.top + (y - d.top) * sh / (d.bottom - d.top));
    }
    // A full node takes no more; a source outside its bitmap is refused.
    const RECT outside{0, 0, 11, 8};
    EXPECT_EQ(BltsAdd(node, job.store, &outside, &outside, &outside, &outside, job.Get(91), 0), 0);
    CmdListAppend(&job.list, node);
    EXPECT_EQ(CmdRow(node).colorClassGet(node, &colour, &hint, -1), CMD_COLOR_DRAW_RESTORE);
    // Otherwise the items render their converted copies straight into the band's pixels.
    EXPECT_EQ(CmdRow(node).colorClassGet(node, &colour, &hint, 0), CMD_COLOR_DIRECT);
    const Mapping one{1};
    for (int band : {H, 9, 1}) {
        SCOPED_TRACE(band);
        EXPECT_EQ(Diff(DrawRoad(job, W, H, one, band), want), "");
        int refused = 0;
        EXPECT_EQ(Diff(MaskRoad(job, W, H, one, band, &refused), want), "");
        EXPECT_EQ(refused, 0);
    }
}

}  // namespace

namespace {

// A blended overlay gathers the shapes of all its commands in one mask, which no command clears:
// an image drawn through a mask, a transparent colour or a black-and-white bitmap adds its marks
// and keeps the ones earlier commands made under it (a shape drawn by copying writes its 0s too).
TEST(AccumulatingMasks, EarlierMarksStayUnderMaskedImages)
{
    const Colours image = MakeColours(20, 16, 51);
    const Mask mask = MakeMask(20, 16, 52);
    const std::vector<uint8_t> positive{0, 0, 0, 0, 255, 255, 255, 0};
    // Every third pixel of the picture is the transparent colour.
    std::vector<uint8_t> keyed = image.rows;
    for (int y = 0; y < image.h; ++y)
        for (int x = 0; x < image.w; ++x)
            if ((x + 2 * y) % 3 == 0) std::fill_n(&keyed[size_t(y) * BitmapRowBytes(24, image.w) + 3 * x], 3, 0x40);
    std::vector<uint8_t> shape24(size_t(BitmapRowBytes(24, mask.w)) * mask.h, 0);
    for (int y = 0; y < mask.h; ++y)
        for (int x = 0; x < mask.w; ++x)
            if (mask.bit(x, y)) std::fill_n(&shape24[size_t(y) * BitmapRowBytes(24, mask.w) + 3 * x], 3, 255);
    auto transparent = [](RECT s, RECT d) {
        return Cat({Le({s.left, s.top, s.right, s.bottom}), Le({d.left, d.top, d.right, d.bottom}),
                    Le({0, kImage, 0x404040})});
    };
    struct Command {
        const char* what;
        uint16_t type;
        std::vector<uint8_t> record;
        enum { Picture, Shape1, Shape24 } image;  // what kImage holds: the picture or the mask's shape
    } commands[] = {
        {"masked BitBlt, both sides", 19,
         Cat({Le({5, 4, 23, 16}), Le({1, 2}), Le({2, 1}), Le({0, 0}), Le({0, 0, kImage, kMask, 0xCC33})}),
         Command::Picture},
        {"TransparentBlt copied", 25, transparent({2, 1, 12, 8}, {5, 3, 15, 10}), Command::Picture},
        {"TransparentBlt enlarged by 7/4", 25, transparent({3, 2, 7, 7}, {4, 6, 11, 15}), Command::Picture},
        {"1-bit brush bitmap", 19,
         Cat({Le({5, 4, 25, 20}), Le({0, 0}), Le({0, 0}), Le({0, 0}), Le({0x80102030, 0, kImage, 0, 0xB8B8})}),
         Command::Shape1},
        {"24-bit brush bitmap", 21,
         Cat({Le({0, 0, 20, 16}),
              Le({3, 2, 43, 34}),
              Le({0, 0}),
              std::vector<uint8_t>(24),
              Le({0, kImage, 0, 0x80102030}),
              Le({0xE2E2}, 2),
              {0, 0}}),
         Command::Shape24},
    };
    // Earlier marks: stripes across every command.
    const std::vector<RECT> earlier = {{0, 3, W, 5}, {0, 9, W, 10}, {7, 0, 9, H}, {20, 0, 24, H}};
    for (const Command& c : commands) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        if (c.image == Command::Shape1) AddBitmap(body, {kImage, mask.w, -mask.h, 1, 0, positive, mask.rows});
        else if (c.image == Command::Shape24) AddBitmap(body, {kImage, mask.w, -mask.h, 24, 0, {}, shape24});
        else AddBitmap(body, {kImage, image.w, -image.h, 24, 0, {}, c.type == 25 ? keyed : image.rows});
        AddBitmap(body, {kMask, mask.w, -mask.h, 1, 0, positive, mask.rows});
        body.Raw(c.type, 0, c.record);
        ASSERT_EQ(job.Read(body), 1);
        BandSurface* surface = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{W, H}, nullptr, 0, 0);
        MapSet(surface, Mapping{1}, 0);
        const RECT band = BandLogical(Mapping{1}, W, 0, H);
        for (CmdNode* node : job.Nodes()) {
            RECT area{};
            const RECT page{0, 0, W, H};
            IntersectRect(&area, &node->bounds, &page);
            // The shape alone, drawn into a clear mask.
            BandSurfaceClear(surface, SIZE{W, H});
            ASSERT_EQ(CmdRow(node).renderBand(node, job.store, surface, &band, &area, &area, 0), CMD_BAND_MASKED);
            std::vector<uint8_t> want(surface->bits, surface->bits + surface->bytes);
            int shapeBits = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) shapeBits += MaskBit(surface, x, y);
            EXPECT_GT(shapeBits, 0);
            // Over the earlier marks, accumulating.
            BandSurfaceClear(surface, SIZE{W, H});
            BandMaskRectsSet(surface, uint32_t(earlier.size()), earlier.data());
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    if (MaskBit(surface, x, y)) want[size_t(y) * surface->stride + x / 8] |= uint8_t(0x80 >> (x % 8));
            CmdRow(node).renderBand(node, job.store, surface, &band, &area, &area, 1);
            int wrong = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    wrong += MaskBit(surface, x, y) != ((want[size_t(y) * surface->stride + x / 8] >> (7 - x % 8)) & 1);
            EXPECT_EQ(wrong, 0);
        }
        BandSurfaceDestroy(surface);
    }
}

}  // namespace
