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

#include "engine/display/commands/cmd_blts.h"
#include "engine/display/commands/cmd_image.h"
#include "platform/user.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/bitmap_test_support.h"
#include "tests/support/rop3_model.h"

namespace {

constexpr uint32_t kPage = 80, kImage = 81, kMask = 82;
constexpr int W = 64, H = 40;

// Random 24-bit pixels, top-down, as COLORREF values and as record rows (B, G, R).
struct Colours {
    int w, h;
    std::vector<uint32_t> px;
    std::vector<uint8_t> rows;
    uint32_t at(int x, int y) const { return px[size_t(y) * w + x]; }
};
Colours MakeColours(int w, int h, uint32_t seed)
{
    Colours c{w, h, std::vector<uint32_t>(size_t(w) * h), std::vector<uint8_t>(size_t(BitmapRowBytes(24, w)) * h)};
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t v = random() & 0xFFFFFF;
            c.px[size_t(y) * w + x] = v;
            uint8_t* p = &c.rows[size_t(y) * BitmapRowBytes(24, w) + 3 * x];
            p[0] = uint8_t(v >> 16), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v);
        }
    return c;
}

// Random 1-bit mask rows, top-down, most significant bit first.
struct Mask {
    int w, h;
    std::vector<uint8_t> rows;
    int bit(int x, int y) const { return (rows[size_t(y) * BitmapRowBytes(1, w) + x / 8] >> (7 - x % 8)) & 1; }
};
Mask MakeMask(int w, int h, uint32_t seed)
{
    Mask m{w, h, std::vector<uint8_t>(size_t(BitmapRowBytes(1, w)) * h)};
    std::mt19937 random(seed);
    for (uint8_t& b : m.rows) b = uint8_t(random());
    return m;
}

struct Case {
    const char* what;
    bool stretch;
    RECT source;  // StretchBlt: the source rectangle; BitBlt: left, top = source point
    POINT maskOrigin;  // BitBlt only
    RECT destination;
    uint16_t rop;
    bool whiteFirst;  // the mask's palette: white then black
    std::vector<uint32_t> nodeRops;
    bool maskRoad;  // neither side reads the page
    bool plain = false;  // no mask: the low ROP byte everywhere
};

std::vector<uint8_t> Record(const Case& c)
{
    const RECT& d = c.destination;
    if (c.stretch)
        return Cat({Le({c.source.left, c.source.top, c.source.right, c.source.bottom}),
                    Le({d.left, d.top, d.right, d.bottom}),
                    Le({0, 0}),
                    std::vector<uint8_t>(24),
                    Le({0, kImage, c.plain ? 0 : kMask, 0}),
                    Le({c.rop}, 2),
                    {0, 0}});
    return Cat({Le({d.left, d.top, d.right, d.bottom}), Le({c.source.left, c.source.top}),
                Le({c.maskOrigin.x, c.maskOrigin.y}), Le({0, 0}), Le({0, 0, kImage, c.plain ? 0 : kMask, c.rop})});
}

// A 1-bit mask's palette: white then black, or black then white.
std::vector<uint8_t> MaskPalette(bool whiteFirst)
{
    return whiteFirst ? std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 0, 0}
                      : std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 0};
}

// The page bitmap copied over logical (0, 0, w, h), beneath the command.
void PageCopy(SpoolBuilder& body, int w, int h)
{
    body.Raw(19, 0, Cat({Le({0, 0, w, h}), Le({0, 0}), Le({0, 0}), Le({0, 0}), Le({0, 0, kPage, 0, 0xCCCC})}));
}

// The page (a w x h bitmap drawn over logical (0, 0, w, h)) with the masked command applied, at
// the mapping: every device pixel of a scaled rectangle takes the source pixel nearest its
// top-left corner (counted from the far edge when mirrored), and the mask pixel at the same place.
// A source pixel outside the image reads black under a mask; without one the page stays there.
Image Expected(const Case& c, const Colours& page, const Colours& image, const Mask& mask, const Mapping& m, int w = W,
               int h = H)
{
    const int pw = m.Map(w), ph = m.Map(h);
    Image out(pw, ph);
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) out.at(x, y) = page.at(x * w / pw, y * h / ph);
    const RECT& d = c.destination;
    const bool mx = d.right < d.left, my = d.bottom < d.top;
    const int left = m.Map(std::min(d.left, d.right)), right = m.Map(std::max(d.left, d.right));
    const int top = m.Map(std::min(d.top, d.bottom)), bottom = m.Map(std::max(d.top, d.bottom));
    const int sw = c.stretch ? c.source.right - c.source.left : std::abs(d.right - d.left);
    const int sh = c.stretch ? c.source.bottom - c.source.top : std::abs(d.bottom - d.top);
    for (int y = std::max(top, 0); y < std::min(bottom, ph); ++y)
        for (int x = std::max(left, 0); x < std::min(right, pw); ++x) {
            const int u = (mx ? right - 1 - x : x - left) * sw / (right - left);
            const int v = (my ? bottom - 1 - y : y - top) * sh / (bottom - top);
            const int sx = c.source.left + u, sy = c.source.top + v;
            const int maskX = c.stretch ? sx : c.maskOrigin.x + u, maskY = c.stretch ? sy : c.maskOrigin.y + v;
            const bool white = c.plain || (mask.bit(maskX, maskY) == 1) != c.whiteFirst;
            const uint32_t rop = white ? (c.rop & 0xFF) : (c.rop >> 8);
            const bool inside = sx >= 0 && sy >= 0 && sx < image.w && sy < image.h;
            if (!inside && c.plain) continue;
            // A command without a brush of its own paints with white, all ones.
            out.at(x, y) = Rop3(uint8_t(rop), 0xFFFFFF, inside ? image.at(sx, sy) : 0, out.at(x, y), 24);
        }
    return out;
}

// The page both band roads draw (the band-mask road only where asked) against want, at the
// mapping, in bands of the given height.
void ExpectRoads(BitmapJob& job, const Image& want, const Mapping& m, int band, bool maskRoad)
{
    SCOPED_TRACE(std::to_string(m.scale) + "/" + std::to_string(m.divisor) + ", bands of " + std::to_string(band));
    EXPECT_EQ(Diff(DrawRoad(job, want.w, want.h, m, band), want), "") << "GDI road";
    if (maskRoad) {
        EXPECT_EQ(Diff(MaskRoad(job, want.w, want.h, m, band), want), "") << "mask road";
    }
}

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

// Run-length data of palette rows (top-down, packed at depth 4 or 8), bottom row first as such
// bitmaps are stored: runs of equal pixels, absolute stretches of up to 7 where pixels differ, a
// delta skipping [skipFrom, skipTo) of row skipRow, each row ended, then the bitmap's end.
std::vector<uint8_t> RunLengthEncode(const std::vector<uint8_t>& rows, int w, int h, int depth, int skipRow,
                                     int skipFrom, int skipTo)
{
    const uint32_t rowBytes = BitmapRowBytes(depth, w);
    std::vector<uint8_t> out;
    for (int y = h - 1; y >= 0; --y) {
        auto index = [&](int x) {
            const uint8_t b = rows[size_t(y) * rowBytes + (depth == 4 ? x / 2 : x)];
            return depth == 4 ? uint8_t(x % 2 == 0 ? b >> 4 : b & 15) : b;
        };
        for (int x = 0; x < w;) {
            if (y == skipRow && x == skipFrom) {
                out.insert(out.end(), {0, 2, uint8_t(skipTo - skipFrom), 0});
                x = skipTo;
                continue;
            }
            const int limit = y == skipRow && x < skipFrom ? skipFrom : w;
            int run = 1;
            while (x + run < limit && run < 255 && index(x + run) == index(x)) ++run;
            if (run == 1 && limit - x >= 3) {
                const int n = std::min(7, limit - x);
                out.insert(out.end(), {0, uint8_t(n)});
                std::vector<uint8_t> packed;
                for (int i = 0; i < n; ++i) {
                    if (depth == 8) packed.push_back(index(x + i));
                    else if (i % 2 == 0) packed.push_back(uint8_t(index(x + i) << 4));
                    else packed.back() |= index(x + i);
                }
                if (packed.size() % 2 != 0) packed.push_back(0);
                out.insert(out.end(), packed.begin(), packed.end());
                x += n;
                continue;
            }
            const uint8_t v = index(x);
            out.insert(out.end(), {uint8_t(run), depth == 4 ? uint8_t(v << 4 | v) : v});
            x += run;
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
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
