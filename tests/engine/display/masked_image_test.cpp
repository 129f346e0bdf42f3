// Masked BitBlt and StretchBlt: the record's low ROP byte paints where the mask is white, the high
// byte where it is black. Both band roads (GDI into colour bands; the shape marked in the band
// mask and painted from CmdDrawRestore) against a per-pixel reference that applies each ROP bit by
// bit, over several band cuts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/engine/display/masked_image_fixture.h"

namespace {

TEST(MaskedImageCommands, EachSideOfTheMaskTakesItsOwnRopOnBothRoads)
{
    const Colours page = MakeColours(W, H, 1);
    const Colours image = MakeColours(20, 16, 2);
    const Mask mask = MakeMask(20, 16, 3);
    const Case cases[] = {
        {"copy where white", false, {1, 2, 0, 0}, {2, 1}, {5, 4, 18, 13}, 0xAACC, false, {0xCCCC}, true},
        {"copy where black, white-first palette",
         false,
         {3, 0, 0, 0},
         {0, 4},
         {30, 20, 47, 32},
         0xCCAA,
         true,
         {0xCCCC},
         true},
        {"inverted where white, copied where black",
         false,
         {0, 0, 0, 0},
         {4, 3},
         {-3, 30, 13, 43},
         0xCC33,
         false,
         {0x3333, 0xCCCC},
         true},
        {"xor where white", false, {2, 2, 0, 0}, {1, 1}, {40, 2, 58, 16}, 0xAA66, false, {0x6666}, false},
        {"xor where white, copy where black",
         false,
         {2, 2, 0, 0},
         {1, 1},
         {40, 20, 58, 34},
         0xCC66,
         false,
         {0x6666, 0xCCCC},
         false},
        {"two page-reading sides", false, {2, 2, 0, 0}, {1, 1}, {40, 2, 58, 16}, 0xEE88, true, {0x8888, 0xEEEE}, false},
        {"stretched, copy where white", true, {2, 1, 12, 9}, {}, {3, 2, 40, 30}, 0xAACC, false, {0xCCCC}, true},
        {"stretched and mirrored in x",
         true,
         {0, 0, 20, 16},
         {},
         {60, 5, 10, 35},
         0xCC33,
         true,
         {0x3333, 0xCCCC},
         true},
        {"stretched, mirrored in y and shrunk",
         true,
         {1, 1, 19, 15},
         {},
         {20, 39, 31, 30},
         0x66CC,
         false,
         {0xCCCC, 0x6666},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
        AddBitmap(body, {kImage, image.w, -image.h, 24, 0, {}, image.rows});
        const std::vector<uint8_t> palette = MaskPalette(c.whiteFirst);
        AddBitmap(body, {kMask, mask.w, -mask.h, 1, 0, palette, mask.rows});
        PageCopy(body, W, H);
        body.Raw(c.stretch ? 21 : 19, 0, Record(c));
        ASSERT_EQ(job.Read(body), 1);
        std::vector<uint32_t> rops;
        for (CmdNode* n : job.Nodes()) rops.push_back(reinterpret_cast<CmdImageNode*>(n)->rop);
        rops.erase(rops.begin());  // the page
        EXPECT_EQ(rops, c.nodeRops);
        // The GDI road hands MaskBlt a mask and a picture made at the device size: at page
        // scales other than 1 (enlarging, by fractions and shrinking) they must still fall on
        // the pixels the band mask marks.
        for (const Mapping m : {Mapping{1}, Mapping{2}, Mapping{3, 2}, Mapping{2, 3}}) {
            const Image want = Expected(c, page, image, mask, m);
            for (int band : {want.h, 7, 1}) ExpectRoads(job, want, m, band, c.maskRoad);
        }
    }
}

// Through GDI each band draws only its own part of a masked destination: the mask and the scaled
// picture are made for the rows and columns the band holds, and every device pixel still takes
// the source pixel it takes when the destination is drawn whole. Bands of 1, 3, 7 and 40 rows and
// the whole page, at one and two device pixels a unit, mirrored and scaled by fractions.
TEST(MaskedImageCommands, EachBandDrawsItsOwnPartOfTheDestination)
{
    constexpr int w = 64, h = 45;
    const Colours page = MakeColours(w, h, 4);
    const Colours image = MakeColours(20, 16, 5);
    const Mask mask = MakeMask(20, 16, 6);
    const Case cases[] = {
        {"copy reaching above the page", false, {1, 2, 0, 0}, {2, 1}, {5, -4, 18, 9}, 0xAACC, false, {}, true},
        {"grown by fractions", true, {1, 1, 19, 14}, {}, {3, 2, 40, 43}, 0xAACC, false, {}, true},
        {"shrunk by fractions, mirrored across", true, {0, 0, 20, 16}, {}, {50, 6, 37, 17}, 0xCC33, true, {}, true},
        {"grown, mirrored down", true, {2, 3, 17, 15}, {}, {10, 44, 60, 20}, 0xAACC, false, {}, true},
        {"mirrored both ways, one side reading the page",
         true,
         {0, 0, 20, 16},
         {},
         {62, 40, 4, 1},
         0x66CC,
         false,
         {},
         false},
        {"reaching past the right and the bottom", true, {0, 0, 20, 16}, {}, {40, 30, 75, 52}, 0xCCAA, true, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kPage, w, -h, 24, 0, {}, page.rows});
        AddBitmap(body, {kImage, image.w, -image.h, 24, 0, {}, image.rows});
        const std::vector<uint8_t> palette = MaskPalette(c.whiteFirst);
        AddBitmap(body, {kMask, mask.w, -mask.h, 1, 0, palette, mask.rows});
        PageCopy(body, w, h);
        body.Raw(c.stretch ? 21 : 19, 0, Record(c));
        ASSERT_EQ(job.Read(body), 1);
        for (int scale : {1, 2}) {
            SCOPED_TRACE(scale);
            const Image want = Expected(c, page, image, mask, Mapping{scale}, w, h);
            for (int band : {1, 3, 7, 40, h * scale}) {
                SCOPED_TRACE(band);
                EXPECT_EQ(Diff(DrawRoad(job, w * scale, h * scale, Mapping{scale}, band), want), "");
                if (c.maskRoad) {
                    EXPECT_EQ(Diff(MaskRoad(job, w * scale, h * scale, Mapping{scale}, band), want), "");
                }
            }
        }
    }
}

// A 20 x 16 picture of 16 random colours as RLE8 data, and its colours.
struct RunLengthPicture {
    Colours image;
    std::vector<uint8_t> palette, runs;
};
RunLengthPicture MakeRunLengthPicture(uint32_t seed)
{
    constexpr int w = 20, h = 16;
    RunLengthPicture p{{w, h, std::vector<uint32_t>(w * h), {}}, {}, {}};
    std::mt19937 random(seed);
    std::vector<uint32_t> colours;
    for (int i = 0; i < 16; ++i) {
        colours.push_back(random() & 0xFFFFFF);
        p.palette.insert(p.palette.end(),
                         {uint8_t(colours[i] >> 16), uint8_t(colours[i] >> 8), uint8_t(colours[i]), 0});
    }
    std::vector<uint8_t> indices(size_t(BitmapRowBytes(8, w)) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Half the pixels repeat the one before, so that runs and stretches of single pixels occur.
            const uint8_t index =
                x > 0 && random() % 2 == 0 ? indices[size_t(y) * BitmapRowBytes(8, w) + x - 1] : uint8_t(random() % 16);
            indices[size_t(y) * BitmapRowBytes(8, w) + x] = index;
            p.image.px[size_t(y) * w + x] = colours[index];
        }
    p.runs = RunLengthEncode(indices, w, h, 8, -1, 0, 0);
    return p;
}

// The engine's own 24-bit run length of top-down rows: a row equal to the one before repeats it
// (130), every third other row is raw (129), the rest are runs of equal pixels (131).
std::vector<uint8_t> Rle24Encode(const std::vector<uint8_t>& rows, int w, int h)
{
    const uint32_t rowBytes = BitmapRowBytes(24, w);
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = &rows[size_t(y) * rowBytes];
        if (y > 0 && std::equal(row, row + 3 * w, row - rowBytes)) {
            out.push_back(130);
        } else if (y % 3 == 0) {
            out.push_back(129);
            out.insert(out.end(), row, row + 3 * w);
        } else {
            out.push_back(131);
            for (int x = 0; x < w;) {
                int run = 1;
                while (x + run < w && run < 255 && std::equal(row + 3 * x, row + 3 * x + 3, row + 3 * (x + run))) ++run;
                out.insert(out.end(), {uint8_t(run), row[3 * x], row[3 * x + 1], row[3 * x + 2]});
                x += run;
            }
        }
    }
    return out;
}

// A mask of more than one bit: white (the side of the record's low ROP byte) where its pixel's
// colour is white, as GDI turns a colour picture into one bit against a white background colour,
// and black everywhere else, near-white colours included. Palette, grey, 5-5-5, 24- and 32-bit
// masks, LZW-compressed, with bit fields, run-length (RLE4 and RLE8 with a delta, whose skipped pixels take
// palette entry 0, black) and the 24-bit run length, under BitBlt and stretched and mirrored
// StretchBlt, on both roads at two page scales.
TEST(MaskedImageCommands, AMaskOfMoreBitsIsWhiteWhereItsColourIsWhite)
{
    const Colours page = MakeColours(W, H, 21);
    const Colours image = MakeColours(20, 16, 22);
    constexpr int mw = 20, mh = 16;
    struct Deep {
        const char* what;
        uint8_t depth;
        uint8_t compression;  // 0 plain, 1 RLE4, 2 RLE8, 3 grey, 4 bit fields, 6 LZW, 7 24-bit run length
    } depths[] = {{"4-bit palette", 4, 0},
                  {"8-bit palette", 8, 0},
                  {"8-bit palette, LZW", 8, 6},
                  {"8-bit grey", 8, 3},
                  {"5-5-5", 16, 0},
                  {"24-bit", 24, 0},
                  {"32-bit", 32, 0},
                  {"RLE4", 4, 1},
                  {"RLE8", 8, 2},
                  {"24-bit run length", 24, 7},
                  {"32-bit bit fields", 32, 4}};
    // Palette entries: black, white, two near-whites, then random colours; white appears once.
    std::vector<uint32_t> colours = {0x000000, 0xFFFFFF, 0xFEFFFF, 0xFFFFFE};
    std::mt19937 random(23);
    while (colours.size() < 16) colours.push_back(random() & 0xFFFFFF);
    const Case commands[] = {
        {"BitBlt, inverted where white, copied where black",
         false,
         {0, 0, 0, 0},
         {4, 3},
         {-3, 22, 13, 35},
         0xCC33,
         false,
         {0x3333, 0xCCCC},
         true},
        {"BitBlt, xor where white", false, {2, 2, 0, 0}, {1, 1}, {40, 2, 58, 16}, 0xAA66, false, {0x6666}, false},
        {"StretchBlt mirrored in x", true, {0, 0, 20, 16}, {}, {60, 5, 10, 35}, 0xCC33, false, {0x3333, 0xCCCC}, true},
        {"StretchBlt shrunk and mirrored in y",
         true,
         {1, 1, 19, 15},
         {},
         {20, 39, 31, 30},
         0x66CC,
         false,
         {0xCCCC, 0x6666},
         false},
    };
    for (const Deep& deep : depths) {
        // The mask's rows as recorded, and the reference's own one-bit picture of them.
        Mask white{mw, mh, std::vector<uint8_t>(size_t(BitmapRowBytes(1, mw)) * mh)};
        const uint32_t rowBytes = BitmapRowBytes(deep.depth, mw);
        std::vector<uint8_t> rows(size_t(rowBytes) * mh), palette;
        if (deep.depth <= 8 && deep.compression != 3)
            for (int i = 0; i < 16; ++i)
                palette.insert(palette.end(),
                               {uint8_t(colours[i] >> 16), uint8_t(colours[i] >> 8), uint8_t(colours[i]), 0});
        if (deep.compression == 4) palette = Le({0xFF0000, 0x00FF00, 0x0000FF});  // red, green, blue masks
        for (int y = 0; y < mh; ++y)
            for (int x = 0; x < mw; ++x) {
                uint8_t* row = &rows[size_t(y) * rowBytes];
                const uint32_t pick = random() % 8;  // half of them white
                bool isWhite = false;
                if (deep.depth == 4 || (deep.depth == 8 && deep.compression != 3)) {
                    const uint32_t index = pick < 4 ? 1 : random() % 16;
                    isWhite = index == 1;
                    if (deep.depth == 4) row[x / 2] |= uint8_t(index << (x % 2 == 0 ? 4 : 0));
                    else row[x] = uint8_t(index);
                } else if (deep.depth == 8) {  // grey ramp
                    static const uint8_t greys[] = {255, 255, 255, 255, 254, 253, 128, 0};
                    row[x] = greys[pick];
                    isWhite = row[x] == 255;
                } else if (deep.depth == 16) {  // the top bit carries no colour
                    static const uint16_t values[] = {0x7FFF, 0xFFFF, 0x7FFF, 0xFFFF, 0x7FFE, 0x7BFF, 0x3DEF, 0};
                    row[2 * x] = uint8_t(values[pick]), row[2 * x + 1] = uint8_t(values[pick] >> 8);
                    isWhite = (values[pick] & 0x7FFF) == 0x7FFF;
                } else {
                    static const uint32_t values[] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                                      0xFEFFFF, 0xFFFEFF, 0x808080, 0};
                    uint8_t* p = row + x * (deep.depth / 8);
                    p[0] = uint8_t(values[pick] >> 16), p[1] = uint8_t(values[pick] >> 8), p[2] = uint8_t(values[pick]);
                    if (deep.depth == 32) p[3] = uint8_t(random());  // not colour
                    isWhite = values[pick] == 0xFFFFFF;
                }
                if (isWhite) white.rows[size_t(y) * BitmapRowBytes(1, mw) + x / 8] |= uint8_t(0x80 >> (x % 8));
            }
        // Run-length rows go bottom-up; row 3's pixels 5 to 8 are skipped, so black.
        const bool runLength = deep.compression == 1 || deep.compression == 2;
        std::vector<uint8_t> data = deep.compression == 6   ? LzwEncode(rows)
                                    : runLength             ? RunLengthEncode(rows, mw, mh, deep.depth, 3, 5, 9)
                                    : deep.compression == 7 ? Rle24Encode(rows, mw, mh)
                                                            : rows;
        if (runLength)
            for (int x = 5; x < 9; ++x) white.rows[3 * BitmapRowBytes(1, mw) + x / 8] &= uint8_t(~(0x80 >> (x % 8)));
        for (const Case& c : commands) {
            SCOPED_TRACE(std::string(deep.what) + ", " + c.what);
            BitmapJob job;
            SpoolBuilder body;
            AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
            AddBitmap(body, {kImage, image.w, -image.h, 24, 0, {}, image.rows});
            AddBitmap(body, {kMask, mw, runLength ? mh : -mh, deep.depth, deep.compression, palette, data});
            PageCopy(body, W, H);
            body.Raw(c.stretch ? 21 : 19, 0, Record(c));
            ASSERT_EQ(job.Read(body), 1);
            for (const Mapping m : {Mapping{1}, Mapping{3, 2}}) {
                const Image want = Expected(c, page, image, white, m);
                for (int band : {want.h, 7}) ExpectRoads(job, want, m, band, c.maskRoad);
            }
        }
    }
}

// A masked source reaching out of its bitmap, through GDI: each band's part gives the pixels of
// the destination drawn whole, black where the source lies outside the bitmap.
TEST(MaskedImageCommands, ASourceReachingOutOfItsBitmapIsCutPerBandAlike)
{
    constexpr int w = 64, h = 45;
    const Colours page = MakeColours(w, h, 7);
    const Colours image = MakeColours(20, 16, 8);
    const Mask mask = MakeMask(40, 32, 9);
    const Case cases[] = {
        {"grown by fractions", true, {10, 8, 33, 27}, {}, {5, 3, 50, 44}, 0xAACC, false, {}, false},
        {"shrunk, mirrored both ways", true, {4, 2, 38, 31}, {}, {60, 30, 31, 2}, 0xCC66, true, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kPage, w, -h, 24, 0, {}, page.rows});
        AddBitmap(body, {kImage, image.w, -image.h, 24, 0, {}, image.rows});
        AddBitmap(body, {kMask, mask.w, -mask.h, 1, 0, MaskPalette(c.whiteFirst), mask.rows});
        PageCopy(body, w, h);
        body.Raw(21, 0, Record(c));
        ASSERT_EQ(job.Read(body), 1);
        for (int scale : {1, 2}) {
            SCOPED_TRACE(scale);
            const Image want = Expected(c, page, image, mask, Mapping{scale}, w, h);
            for (int band : {1, 3, 7, 40, h * scale}) {
                SCOPED_TRACE(band);
                EXPECT_EQ(Diff(DrawRoad(job, w * scale, h * scale, Mapping{scale}, band), want), "");
            }
        }
    }
}

// A source reaching out of its bitmap. A plain copy leaves the page where the source lies outside
// the bitmap, as GDI does. A masked one reads black there: a masked copy is drawn as XOR the
// picture, AND the mask, XOR the picture, which leaves the mask's black there, and the optimiser
// turns such sandwiches into masked copies. Both roads, two scales, several band cuts.
TEST(MaskedImageCommands, ASourceReachingOutOfItsBitmap)
{
    const Colours page = MakeColours(W, H, 31);
    const Colours image = MakeColours(20, 16, 32);
    const Mask mask = MakeMask(24, 20, 33);
    const Case cases[] = {
        {"masked, out on the right and below",
         false,
         {10, 6, 0, 0},
         {2, 1},
         {5, 4, 23, 18},
         0xCC33,
         false,
         {0x3333, 0xCCCC},
         true},
        {"masked, out on the left and above",
         false,
         {-4, -3, 0, 0},
         {0, 0},
         {30, 20, 50, 36},
         0xAACC,
         true,
         {0xCCCC},
         true},
        {"masked, reading the page",
         false,
         {8, 4, 0, 0},
         {1, 2},
         {40, 2, 60, 20},
         0x66CC,
         false,
         {0xCCCC, 0x6666},
         false},
        {"masked, stretched and mirrored",
         true,
         {12, 8, 24, 20},
         {},
         {60, 5, 30, 35},
         0xCC33,
         false,
         {0x3333, 0xCCCC},
         true},
        {"plain copy", false, {10, 6, 0, 0}, {}, {5, 4, 23, 18}, 0xCCCC, false, {0xCCCC}, true, true},
        {"plain inverted copy, out above",
         false,
         {3, -5, 0, 0},
         {},
         {30, 20, 50, 36},
         0x3333,
         false,
         {0x3333},
         true,
         true},
        {"plain stretch", true, {-6, 4, 14, 20}, {}, {2, 10, 42, 38}, 0xCCCC, false, {0xCCCC}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
        AddBitmap(body, {kImage, image.w, -image.h, 24, 0, {}, image.rows});
        AddBitmap(body, {kMask, mask.w, -mask.h, 1, 0, MaskPalette(c.whiteFirst), mask.rows});
        PageCopy(body, W, H);
        body.Raw(c.stretch ? 21 : 19, 0, Record(c));
        ASSERT_EQ(job.Read(body), 1);
        std::vector<uint32_t> rops;
        for (CmdNode* n : job.Nodes()) rops.push_back(reinterpret_cast<CmdImageNode*>(n)->rop);
        rops.erase(rops.begin());
        EXPECT_EQ(rops, c.nodeRops);
        for (const Mapping m : {Mapping{1}, Mapping{3, 2}}) {
            const Image want = Expected(c, page, image, mask, m);
            for (int band : {want.h, 7, 1}) ExpectRoads(job, want, m, band, c.maskRoad);
        }
    }
}

// A run-length picture through a mask: GDI decodes its rows, the stretch blit scales them, on both
// roads.
TEST(MaskedImageCommands, ARunLengthPictureThroughAMask)
{
    const Colours page = MakeColours(W, H, 41);
    const Mask mask = MakeMask(20, 16, 42);
    const RunLengthPicture picture = MakeRunLengthPicture(43);
    const Colours& image = picture.image;
    const Case cases[] = {
        {"inverted where white, copied where black",
         false,
         {1, 2, 0, 0},
         {2, 1},
         {5, 4, 23, 18},
         0xCC33,
         false,
         {0x3333, 0xCCCC},
         true},
        {"stretched, copy where black", true, {0, 0, 20, 16}, {}, {20, 2, 60, 34}, 0xCCAA, true, {0xCCCC}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
        AddBitmap(body, {kImage, image.w, image.h, 8, 2, picture.palette, picture.runs});
        AddBitmap(body, {kMask, mask.w, -mask.h, 1, 0, MaskPalette(c.whiteFirst), mask.rows});
        PageCopy(body, W, H);
        body.Raw(c.stretch ? 21 : 19, 0, Record(c));
        ASSERT_EQ(job.Read(body), 1);
        for (const Mapping m : {Mapping{1}, Mapping{2}, Mapping{3, 2}}) {
            const Image want = Expected(c, page, image, mask, m);
            for (int band : {want.h, 7}) ExpectRoads(job, want, m, band, true);
        }
    }
}

// Images that GDI used to scale itself (ROPs that read the page or the brush, run-length
// pictures) pick the stretch blit's source pixels on both roads at page scales that are not whole
// numbers (GDI's own rule takes the pixel under each device pixel's centre), mirrored, shrunk and
// reaching out of their bitmap, over band cuts of 1, 7 and the whole page.
TEST(MaskedImageCommands, PlainImagesPickTheSameSourcePixelsAtFractionalScales)
{
    const Colours page = MakeColours(W, H, 71);
    const Colours image = MakeColours(20, 16, 72);
    const RunLengthPicture picture = MakeRunLengthPicture(73);
    struct Plain {
        Case c;
        bool runLength;
    } cases[] = {
        {{"xor, stretched and mirrored in x",
          true,
          {0, 0, 20, 16},
          {},
          {60, 5, 10, 35},
          0x6666,
          false,
          {0x6666},
          false,
          true},
         false},
        {{"and, BitBlt", false, {2, 2, 0, 0}, {}, {5, 4, 23, 18}, 0x8888, false, {0x8888}, false, true}, false},
        {{"source and brush, shrunk and mirrored in y",
          true,
          {1, 1, 19, 15},
          {},
          {20, 39, 31, 30},
          0xC0C0,
          false,
          {0xC0C0},
          true,
          true},
         false},
        {{"source and brush, reaching out",
          true,
          {-4, 3, 24, 19},
          {},
          {3, 2, 50, 37},
          0xC0C0,
          false,
          {0xC0C0},
          true,
          true},
         false},
        {{"run-length copy, reaching out",
          true,
          {-3, 2, 17, 18},
          {},
          {3, 2, 40, 30},
          0xCCCC,
          false,
          {0xCCCC},
          true,
          true},
         true},
        {{"run-length copy, mirrored both ways",
          true,
          {0, 0, 20, 16},
          {},
          {62, 38, 5, 3},
          0xCCCC,
          false,
          {0xCCCC},
          true,
          true},
         true},
        {{"run-length xor, grown by fractions",
          true,
          {2, 1, 17, 13},
          {},
          {1, 1, 44, 37},
          0x6666,
          false,
          {0x6666},
          false,
          true},
         true},
    };
    for (const Plain& p : cases) {
        const Case& c = p.c;
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {kPage, W, -H, 24, 0, {}, page.rows});
        if (p.runLength) AddBitmap(body, {kImage, 20, 16, 8, 2, picture.palette, picture.runs});
        else AddBitmap(body, {kImage, image.w, -image.h, 24, 0, {}, image.rows});
        PageCopy(body, W, H);
        body.Raw(c.stretch ? 21 : 19, 0, Record(c));
        ASSERT_EQ(job.Read(body), 1);
        for (const Mapping m : {Mapping{1}, Mapping{3, 2}, Mapping{2, 3}}) {
            const Image want = Expected(c, page, p.runLength ? picture.image : image, Mask{0, 0, {}}, m);
            for (int band : {want.h, 7, 1}) ExpectRoads(job, want, m, band, c.maskRoad);
        }
    }
}

}  // namespace
