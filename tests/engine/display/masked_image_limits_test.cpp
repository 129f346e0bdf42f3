// Masked and plain image commands at their limits: a picture only GDI decodes is made once for
// every band cut, a picture past the budget or a mask that cannot be applied fails its command,
// and a huge destination is drawn where it meets the band.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/engine/display/masked_image_fixture.h"

namespace {

// A picture whose rows only GDI reads, and its colours: 20 x 16 random pixels of 16 colours as
// RLE4 or RLE8 runs (bottom row first), or as 32-bit pixels under bit fields that put red in the
// low byte and blue in the third, so that a pixel's value is its COLORREF.
struct GdiPicture {
    Colours image;
    uint8_t depth, compression;
    std::vector<uint8_t> palette, data;
    int32_t height;  // as recorded
};
GdiPicture MakeGdiPicture(uint8_t compression, uint32_t seed)
{
    constexpr int w = 20, h = 16;
    GdiPicture p{{w, h, std::vector<uint32_t>(w * h), {}},
                 uint8_t(compression == 1   ? 4
                         : compression == 2 ? 8
                                            : 32),
                 compression,
                 {},
                 {},
                 compression == 4 ? -h : h};
    std::mt19937 random(seed);
    if (compression == 4) {
        p.palette = Le({0x0000FF, 0x00FF00, 0xFF0000});
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t v = random() & 0xFFFFFF;
                p.image.px[size_t(y) * w + x] = v;
                const std::vector<uint8_t> le = Le({int64_t(v | (random() & 0xFF000000u))});
                p.data.insert(p.data.end(), le.begin(), le.end());
            }
        return p;
    }
    std::vector<uint32_t> colours;
    for (int i = 0; i < 16; ++i) {
        colours.push_back(random() & 0xFFFFFF);
        p.palette.insert(p.palette.end(),
                         {uint8_t(colours[i] >> 16), uint8_t(colours[i] >> 8), uint8_t(colours[i]), 0});
    }
    const uint32_t rowBytes = BitmapRowBytes(p.depth, w);
    std::vector<uint8_t> rows(size_t(rowBytes) * h);
    uint32_t index = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Half the pixels repeat the one before, so that runs and stretches of single pixels occur.
            if (x == 0 || random() % 2 == 0) index = random() % 16;
            p.image.px[size_t(y) * w + x] = colours[index];
            if (p.depth == 8) rows[size_t(y) * rowBytes + x] = uint8_t(index);
            else rows[size_t(y) * rowBytes + x / 2] |= uint8_t(index << (x % 2 == 0 ? 4 : 0));
        }
    p.data = RunLengthEncode(rows, w, h, p.depth, -1, 0, 0);
    return p;
}

// GDI decodes such a picture once, when a command first draws it, into a 24-bit picture kept with
// the bitmap's pixels and charged to the budget: every later band and road picks from that one
// picture (the budget's charge and the picture stay as they are), each band cut of both roads
// gives the nearest-pixel reference, and the page's store gives the whole charge back when it goes.
TEST(MaskedImageCommands, APictureGdiDecodesIsMadeOnceForEveryBandCut)
{
    const Colours page = MakeColours(W, H, 81);
    const Mask mask = MakeMask(20, 16, 82);
    const Case cases[] = {
        {"stretched copy, grown by fractions",
         true,
         {2, 1, 17, 13},
         {},
         {1, 1, 44, 37},
         0xCCCC,
         false,
         {0xCCCC},
         true,
         true},
        {"masked BitBlt, inverted where white",
         false,
         {1, 2, 0, 0},
         {2, 1},
         {5, 4, 23, 18},
         0xCC33,
         false,
         {0x3333, 0xCCCC},
         true},
        {"masked StretchBlt, mirrored both ways",
         true,
         {0, 0, 20, 16},
         {},
         {62, 38, 5, 3},
         0xCCAA,
         true,
         {0xCCCC},
         true},
    };
    for (const uint8_t compression : {1, 2, 4}) {
        const GdiPicture picture = MakeGdiPicture(compression, 83 + compression);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(compression == 1   ? "RLE4"
                                     : compression == 2 ? "RLE8"
                                                        : "bit fields") +
                         ", " + c.what);
            BitmapJob job;
            SpoolBuilder body;
            AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
            AddBitmap(body, {kImage, 20, picture.height, picture.depth, compression, picture.palette, picture.data});
            AddBitmap(body, {kMask, mask.w, -mask.h, 1, 0, MaskPalette(c.whiteFirst), mask.rows});
            PageCopy(body, W, H);
            body.Raw(c.stretch ? 21 : 19, 0, Record(c));
            ASSERT_EQ(job.Read(body), 1);
            const BitmapEntry* entry = job.Get(kImage);
            ASSERT_NE(entry, nullptr);
            const uint8_t* made = nullptr;
            uint32_t charged = 0;
            for (const Mapping m : {Mapping{1}, Mapping{3, 2}}) {
                const Image want = Expected(c, page, picture.image, mask, m);
                for (int band : {want.h, 7, 1}) {
                    ExpectRoads(job, want, m, band, c.maskRoad);
                    if (made == nullptr) {
                        made = entry->picture;
                        charged = job.budget->memoryUse;
                        ASSERT_NE(made, nullptr);
                        EXPECT_EQ(entry->pictureSize, BitmapRowBytes(24, 20) * 16);
                    }
                    EXPECT_EQ(entry->picture, made);
                    EXPECT_EQ(job.budget->memoryUse, charged);
                }
            }
            job.Close();
            EXPECT_EQ(job.budget->memoryUse, 0u);
        }
    }
}

// A picture larger than the memory budget, once the trim has freed what it could, fails its
// command: the page stays as it was, nothing of the picture is kept or charged, and the page's
// store gives back what the command's pixels took.
TEST(MaskedImageCommands, APicturePastTheBudgetFailsItsCommand)
{
    const Colours page = MakeColours(W, H, 91);
    const GdiPicture picture = MakeGdiPicture(2, 92);
    const Case c{"stretched copy", true, {0, 0, 20, 16}, {}, {3, 2, 50, 37}, 0xCCCC, false, {0xCCCC}, true, true};
    const int64_t blocks = RenderAllocLiveBlocks();
    {
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
        AddBitmap(body, {kImage, 20, picture.height, picture.depth, 2, picture.palette, picture.data});
        PageCopy(body, W, H);
        body.Raw(21, 0, Record(c));
        ASSERT_EQ(job.Read(body), 1);
        ASSERT_EQ(job.Nodes().size(), 2u);
        const BitmapEntry* entry = job.Get(kImage);
        const uint32_t commands = job.budget->memoryUse;  // the display list's charge
        // The run-length pixels fit; their 24-bit picture does not.
        job.budget->memoryLimit = BitmapRowBytes(24, 20) * 16 - 1;
        Image want(W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) want.at(x, y) = page.at(x, y);
        for (int band : {H, 7}) EXPECT_EQ(Diff(DrawRoad(job, W, H, Mapping{1}, band), want), "") << band;
        BandSurface* surface = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{W, H}, nullptr, 0, 0);
        const RECT band{0, 0, W, H};
        EXPECT_EQ(CmdSlotDraw(job.Nodes()[1], job.store, surface, &band, nullptr), 0);
        BandSurfaceDestroy(surface);
        EXPECT_EQ(entry->picture, nullptr);
        EXPECT_EQ(entry->pictureSize, 0u);
        // What is charged beside the commands is the command's own pixels, which it marked; the
        // trim freed the rest.
        EXPECT_EQ(job.budget->memoryUse, commands + entry->pixelsSize);
        job.Close();
        EXPECT_EQ(job.budget->memoryUse, 0u);
    }
    EXPECT_EQ(RenderAllocLiveBlocks(), blocks);
}

// A masked StretchBlt whose destination spans most of the 32-bit range: the GDI road makes its
// mask and picture for the part inside the band only (the whole destination's size does not even
// fit 32 bits), and both roads pick the pixels the nearest-pixel rule gives, in 64 bits.
TEST(MaskedImageCommands, AHugeDestinationIsDrawnWhereItMeetsTheBand)
{
    const Colours page = MakeColours(W, H, 61);
    const Colours image = MakeColours(20, 16, 62);
    const Mask mask = MakeMask(20, 16, 63);
    const RECT d{-2000000003, -5, 2000000001, 45};
    const Case c{"huge", true, {0, 0, 20, 16}, {}, d, 0xCC33, false, {0x3333, 0xCCCC}, true};
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
    AddBitmap(body, {kImage, image.w, -image.h, 24, 0, {}, image.rows});
    AddBitmap(body, {kMask, mask.w, -mask.h, 1, 0, std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 0}, mask.rows});
    PageCopy(body, W, H);
    body.Raw(21, 0, Record(c));
    ASSERT_EQ(job.Read(body), 1);
    Image want(W, H);
    const int64_t dw = int64_t{d.right} - d.left, dh = int64_t{d.bottom} - d.top;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int u = int((x - int64_t{d.left}) * 20 / dw), v = int((y - int64_t{d.top}) * 16 / dh);
            want.at(x, y) = mask.bit(u, v) ? ~image.at(u, v) & 0xFFFFFF : image.at(u, v);
        }
    for (int band : {H, 7}) {
        SCOPED_TRACE(band);
        EXPECT_EQ(Diff(DrawRoad(job, W, H, Mapping{1}, band), want), "") << "GDI road";
        EXPECT_EQ(Diff(MaskRoad(job, W, H, Mapping{1}, band), want), "") << "mask road";
    }
}

// A mask that cannot be read as one bit (pixels passed through to the device, which reads them
// only into the page's format; damaged run-length data), that does not cover the command, or is
// missing fails the record: the page is not drawn without it.
TEST(MaskedImageCommands, AMaskThatCannotBeAppliedFailsTheRecord)
{
    const Colours image = MakeColours(20, 16, 2);
    struct Bad {
        const char* what;
        uint8_t depth, compression;
        int maskW, maskH;
        uint32_t maskId;
        POINT maskOrigin;
    } cases[] = {
        {"passed-through 24-bit mask", 24, 5, 20, 16, kMask, {0, 0}},
        {"RLE8 mask with a run past its row", 8, 2, 20, 16, kMask, {0, 0}},
        {"mask too small", 1, 0, 8, 8, kMask, {0, 0}},
        {"mask origin past its edge", 1, 0, 20, 16, kMask, {10, 0}},
        {"no such mask", 1, 0, 20, 16, kMask + 1, {0, 0}},
    };
    for (const Bad& b : cases) {
        SCOPED_TRACE(b.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kImage, image.w, -image.h, 24, 0, {}, image.rows});
        std::vector<uint8_t> palette;
        if (b.depth == 1) palette = {0, 0, 0, 0, 255, 255, 255, 0};
        std::vector<uint8_t> data(size_t(BitmapRowBytes(b.depth, b.maskW)) * b.maskH, 0xFF);
        if (b.compression == 2) {
            palette = {0, 0, 0, 0, 255, 255, 255, 0};
            data = {uint8_t(b.maskW + 1), 1, 0, 0, 0, 1};
        }
        AddBitmap(body,
                  {kMask, b.maskW, b.compression == 2 ? b.maskH : -b.maskH, b.depth, b.compression, palette, data});
        body.Raw(19, 0,
                 Cat({Le({0, 0, 12, 10}), Le({0, 0}), Le({b.maskOrigin.x, b.maskOrigin.y}), Le({0, 0}),
                      Le({0, 0, kImage, b.maskId, 0xCC33})}));
        EXPECT_EQ(job.Read(body), 0);
    }
}

}  // namespace
