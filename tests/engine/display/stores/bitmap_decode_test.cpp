// The bitmap decoders: run-length rows against netpbm's reader, LZW against an encoder written
// from the format's rules, 24-bit run-length rows, masks, widening, colour classes and rotation.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/display/stores/bitmap_decode.h"
#include "engine/raster/bitmap_rotate.h"
#include "platform/gdi.h"
#include "rastrel/imo.h"
#include "tests/engine/display/stores/bitmap_entries.h"
#include "tests/support/bitmap_test_support.h"

namespace {

// ---- Run-length rows through GDI against netpbm ----

std::vector<uint8_t> Rle8Encode(const std::vector<uint8_t>& pixels, int width, int height)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels.data() + size_t(y) * width;
        for (int x = 0; x < width;) {
            int run = 1;
            while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
            if (run >= 2) {
                out.insert(out.end(), {uint8_t(run), row[x]});
                x += run;
                continue;
            }
            int literal = 1;
            while (x + literal < width && literal < 255 &&
                   (x + literal + 1 >= width || row[x + literal] != row[x + literal + 1]))
                ++literal;
            if (literal >= 3) {
                out.insert(out.end(), {0, uint8_t(literal)});
                out.insert(out.end(), row + x, row + x + literal);
                if (literal & 1) out.push_back(0);
            } else {
                for (int i = 0; i < literal; ++i) out.insert(out.end(), {1, row[x + i]});
            }
            x += literal;
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}

std::vector<uint8_t> Rle4Encode(const std::vector<uint8_t>& pixels, int width, int height)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels.data() + size_t(y) * width;
        int x = 0;
        for (; x + 4 <= width && (x / 4) % 3 == 1; x += 4)  // some absolute groups of four
            out.insert(out.end(), {0, 4, uint8_t(row[x] << 4 | row[x + 1]), uint8_t(row[x + 2] << 4 | row[x + 3])});
        while (x < width) {
            // A run alternates two colours: count them as long as the pattern holds.
            int run = 1;
            while (x + run < width && run < 255 && row[x + run] == row[x + (run & 1)]) ++run;
            const uint8_t second = run > 1 ? row[x + 1] : 0;
            out.insert(out.end(), {uint8_t(run), uint8_t(row[x] << 4 | second)});
            x += run;
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}

// netpbm's reader of a BMP file: RGB rows top-down.
std::vector<uint8_t> NetpbmDecode(const std::vector<uint8_t>& bmp, int width, int height)
{
    const std::string dir = ::testing::TempDir();
    const std::string in = dir + "rle_bitmap.bmp", out = dir + "rle_bitmap.ppm";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
    if (std::system(("bmptopnm '" + in + "' > '" + out + "' 2>/dev/null").c_str()) != 0) return {};
    std::ifstream file(out, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    file >> magic >> w >> h >> max;
    file.get();
    if (w != width || h != height) return {};
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    if (magic == "P6") {
        file.read(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size()));
    } else {
        return {};
    }
    return rgb;
}

// The GDI bitmap the store made, read back as RGB rows top-down.
std::vector<uint8_t> GdiRead(HBITMAP bitmap, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC from = CreateCompatibleDC(nullptr), to = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFrom = SelectObject(from, bitmap), oldTo = SelectObject(to, target);
    BitBlt(to, 0, 0, width, height, from, 0, 0, SRCCOPY);
    std::vector<uint8_t> rgb;
    const uint32_t stride = BitmapRowBytes(24, width);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = static_cast<uint8_t*>(bits) + size_t(y) * stride + 3 * x;
            rgb.insert(rgb.end(), {p[2], p[1], p[0]});
        }
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(target);
    return rgb;
}

TEST(BitmapDecoding, RunLengthBitmapsMatchNetpbm)
{
    std::mt19937 random(21);
    for (int depth : {4, 8}) {
        SCOPED_TRACE(depth);
        const int width = 37, height = 11;
        std::vector<uint8_t> pixels(size_t(width) * height);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] =
                static_cast<uint8_t>((random() % 3 == 0 ? random() : pixels[i ? i - 1 : 0]) % (depth == 4 ? 16 : 40));
        const std::vector<uint8_t> data =
            depth == 8 ? Rle8Encode(pixels, width, height) : Rle4Encode(pixels, width, height);
        std::vector<uint32_t> colours;
        for (int i = 0; i < (1 << depth) && i < 40; ++i) colours.push_back(uint32_t(random()) & 0xFFFFFF);
        std::vector<uint8_t> palette;
        for (uint32_t c : colours) palette.insert(palette.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});

        // Room for the whole file first: growing a 54-byte vector by insert trips GCC 12's
        // array-bounds check under -fsanitize=thread (a false alarm that fails the build).
        std::vector<uint8_t> bmp;
        bmp.reserve(14 + 40 + palette.size() + data.size());
        bmp.resize(14 + 40);
        const uint32_t offBits = uint32_t(bmp.size() + palette.size());
        BITMAPINFOHEADER h{40,
                           width,
                           height,
                           1,
                           uint16_t(depth),
                           depth == 8 ? BI_RLE8 : BI_RLE4,
                           uint32_t(data.size()),
                           2835,
                           2835,
                           uint32_t(colours.size()),
                           0};
        bmp[0] = 'B';
        bmp[1] = 'M';
        const uint32_t fileSize = offBits + uint32_t(data.size());
        std::memcpy(&bmp[2], &fileSize, 4);
        std::memcpy(&bmp[10], &offBits, 4);
        std::memcpy(&bmp[14], &h, 40);
        bmp.insert(bmp.end(), palette.begin(), palette.end());
        bmp.insert(bmp.end(), data.begin(), data.end());
        const std::vector<uint8_t> expected = NetpbmDecode(bmp, width, height);
        ASSERT_FALSE(expected.empty()) << "bmptopnm did not read the file";

        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {30, width, height, uint8_t(depth), uint8_t(depth == 8 ? 2 : 1), palette, data},
                  {data.size() / 2});
        ASSERT_EQ(job.Read(body), 1);
        BitmapEntry* e = BitmapLookup(&job.store->bitmaps, 30);
        ResourceCost tally{};
        ASSERT_EQ(BitmapRealize(&job.store->bitmaps, e, nullptr, &tally), 1);
        EXPECT_EQ(GdiRead(e->handle, width, height), expected);
        BitmapRelease(&job.store->bitmaps, e, 0, &tally);
    }
}

// ---- LZW ----

struct ByteReader {
    const std::vector<uint8_t>* data;
    size_t at = 0;
    uint32_t most = 256;  // bytes per read
};
uint32_t ReadBytes(void* buffer, uint32_t count, void* argument)
{
    auto* r = static_cast<ByteReader*>(argument);
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>({count, r->most, r->data->size() - r->at}));
    std::memcpy(buffer, r->data->data() + r->at, n);
    r->at += n;
    return n;
}

std::vector<uint8_t> Sample(size_t n, uint32_t seed, uint32_t alphabet)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = i > 0 && random() % 4 ? v[i - 1] : static_cast<uint8_t>(random() % alphabet);
    return v;
}

TEST(LzwDecoding, EqualsTheEncodedInputOneShotAndInPieces)
{
    std::vector<uint8_t> state(LzwStateSize());
    for (bool early : {false, true}) {
        for (size_t n : {size_t{1}, size_t{700}, size_t{20000}}) {
            SCOPED_TRACE(testing::Message() << "early " << early << " n " << n);
            const std::vector<uint8_t> input = Sample(n, uint32_t(n), n > 1000 ? 256 : 5);
            const std::vector<uint8_t> code = LzwEncode(input, true, early);
            const uint32_t flags = early ? LZW_EARLY_CHANGE : 0;
            std::vector<uint8_t> out(n);
            ByteReader reader{&code, 0, 7};
            uint32_t produced = 0;
            const int32_t r = LzwDecode(ReadBytes, &reader, out.data(), uint32_t(n), state.data(),
                                        uint32_t(state.size()), flags | LZW_ONE_SHOT, &produced);
            EXPECT_EQ(produced, n);
            EXPECT_TRUE(r == int32_t(n) || r == LZW_END_CODE) << r;
            EXPECT_EQ(out, input);
            // Resumable, in pieces of 13 bytes: -5 each time until the last piece.
            std::vector<uint8_t> pieces;
            ByteReader again{&code};
            uint32_t f = flags;
            for (int32_t result = LZW_OUTPUT_FULL; result == LZW_OUTPUT_FULL; f |= LZW_CONTINUE) {
                uint8_t piece[13];
                uint32_t got = 0;
                result =
                    LzwDecode(ReadBytes, &again, piece, sizeof piece, state.data(), uint32_t(state.size()), f, &got);
                pieces.insert(pieces.end(), piece, piece + got);
                if (result != LZW_OUTPUT_FULL) {
                    EXPECT_EQ(result, LZW_END_CODE);
                }
            }
            EXPECT_EQ(pieces, input);
        }
    }
}

// Codes written by hand, 9 bits each, most significant bit first.
std::vector<uint8_t> Codes9(std::initializer_list<uint32_t> codes)
{
    std::vector<uint8_t> out;
    uint64_t bits = 0;
    int count = 0;
    for (uint32_t c : codes) {
        bits = bits << 9 | c;
        count += 9;
        while (count >= 8) out.push_back(uint8_t(bits >> (count -= 8)));
    }
    if (count) out.push_back(uint8_t(bits << (8 - count)));
    return out;
}

TEST(LzwDecoding, CodesAndEndings)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> code;
        uint32_t outputSize;
        uint32_t flags;
        int32_t result;
        std::vector<uint8_t> output;
    } cases[] = {
        {"code 258 right after a clear", Codes9({256, 258}), 8, LZW_ONE_SHOT, LZW_BAD_CODE, {}},
        {"input ends right after a clear", Codes9({256}), 8, LZW_ONE_SHOT, LZW_BAD_CODE, {}},
        {"end right after a clear", Codes9({256, 257}), 8, LZW_ONE_SHOT, 0, {}},
        {"next code: previous string and its first byte",
         Codes9({256, 65, 258, 257}),
         8,
         LZW_ONE_SHOT,
         LZW_END_CODE,
         {65, 65, 65}},
        {"a code past the next one", Codes9({256, 65, 259}), 8, LZW_ONE_SHOT, LZW_BAD_CODE, {65}},
        {"dictionary strings",
         Codes9({256, 65, 66, 258, 260, 257}),
         16,
         LZW_ONE_SHOT,
         LZW_END_CODE,
         {65, 66, 65, 66, 65, 66, 65}},
        {"input exhausted gives the count", Codes9({256, 65, 66}), 8, LZW_ONE_SHOT, 2, {65, 66}},
        {"one-shot never writes past the output",
         Codes9({256, 65, 258, 258, 257}),
         4,
         LZW_ONE_SHOT,
         4,
         {65, 65, 65, 65}},
        {"resumable stops when full", Codes9({256, 65, 258, 257}), 2, 0, LZW_OUTPUT_FULL, {65, 65}},
    };
    std::vector<uint8_t> state(LzwStateSize());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> out(c.outputSize);
        ByteReader reader{&c.code};
        uint32_t produced = 0;
        EXPECT_EQ(LzwDecode(ReadBytes, &reader, out.data(), c.outputSize, state.data(), uint32_t(state.size()), c.flags,
                            &produced),
                  c.result);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + produced), c.output);
    }
    std::vector<uint8_t> out(4);
    const std::vector<uint8_t> code = Codes9({256, 65});
    ByteReader reader{&code};
    EXPECT_EQ(LzwDecode(ReadBytes, &reader, out.data(), 4, state.data(), uint32_t(state.size()) - 1, 0),
              LZW_STATE_SMALL);
}

// The widths: without early change 9 bits hold until code 511 has been assigned.
TEST(LzwDecoding, WidthGrowsAtTheThreshold)
{
    for (bool early : {false, true}) {
        SCOPED_TRACE(early);
        // Distinct pairs assign one code each: 300 single bytes alternate so every pair is new.
        std::vector<uint8_t> input;
        for (int i = 0; i < 5000; ++i) input.push_back(uint8_t((i * 7919) >> 3));
        const std::vector<uint8_t> code = LzwEncode(input, true, early);
        std::vector<uint8_t> out(input.size());
        std::vector<uint8_t> state(LzwStateSize());
        ByteReader reader{&code};
        uint32_t produced = 0;
        LzwDecode(ReadBytes, &reader, out.data(), uint32_t(out.size()), state.data(), uint32_t(state.size()),
                  LZW_ONE_SHOT | (early ? LZW_EARLY_CHANGE : 0), &produced);
        EXPECT_EQ(produced, input.size());
        EXPECT_EQ(out, input);
        // Read with the other rule, the same data goes wrong.
        std::vector<uint8_t> other(input.size());
        ByteReader again{&code};
        LzwDecode(ReadBytes, &again, other.data(), uint32_t(other.size()), state.data(), uint32_t(state.size()),
                  LZW_ONE_SHOT | (early ? 0 : LZW_EARLY_CHANGE), &produced);
        EXPECT_NE(other, input);
    }
}

TEST(LzwDecoding, BitmapsDecodeRowByRowAndFailCleanly)
{
    const int width = 301, height = 40;
    const uint32_t stride = BitmapRowBytes(8, width);
    std::vector<uint8_t> rows = Sample(size_t(stride) * height, 3, 256);
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        bool loads;
    } cases[] = {
        {"with an end code", LzwEncode(rows, true), true},
        {"ending with the input", LzwEncode(rows, false), true},
        {"data ending early", LzwEncode(rows), false},
        {"an undefined code", Codes9({256, 65, 400, 1, 2, 3, 4, 5, 6, 7}), false},
    };
    cases[2].data.resize(500);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job(IMO_OPTION_IMAGE_HINTS);  // the class scan decodes in chunks as well
        SpoolBuilder body;
        AddBitmap(body, {40, width, height, 8, 6, Palette({0x808080, 0x102030}), c.data}, {c.data.size() / 3});
        ASSERT_EQ(job.Read(body), 1);
        BitmapEntry* e = job.Get(40);
        EXPECT_EQ(job.Load(e), c.loads);
        if (c.loads) {
            EXPECT_EQ(Rows(e), rows);
        }
        // A mask goes through the chunked loop.
        BitmapEntry* mask = BitmapCloneMask(&job.store->bitmaps, e, 0);
        ASSERT_NE(mask, nullptr);
        EXPECT_EQ(job.Load(mask), c.loads);
        if (c.loads) {
            const uint8_t* m = BitmapPixelRows(mask);
            EXPECT_EQ((m[0] >> 7) & 1, rows[0] != 0);
            EXPECT_EQ((m[BitmapRowBytes(1, width) * 5 + 37 / 8] >> (7 - 37 % 8)) & 1, rows[stride * 5 + 37] != 0);
        }
    }
}

// ---- 24-bit run-length rows ----

TEST(Rle24Decoding, RowCodes)
{
    const std::vector<uint8_t> red = {0, 0, 255}, blue = {255, 0, 0};
    auto cat = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> v;
        for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
        return v;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> data;  // two rows of 2 pixels
        bool loads;
        std::vector<uint8_t> rows;  // 8 bytes a row
    } cases[] = {
        {"literal then repeat", cat({{129}, red, blue, {130}}), true, cat({red, blue, {0, 0}, red, blue, {0, 0}})},
        {"groups, a count of 0 writes nothing",
         cat({{131, 0, 1, 2, 3, 2, 0, 0, 255}, {131, 1, 255, 0, 0, 1, 0, 0, 255}}), true,
         cat({red, red, {0, 0}, blue, red, {0, 0}})},
        {"repeat on the first row repeats zeros", cat({{130, 129}, red, red}), true,
         cat({{0, 0, 0, 0, 0, 0, 0, 0}, red, red, {0, 0}})},
        {"a group past the row", {131, 3, 1, 2, 3, 130}, false, {}},
        {"an unknown code", {128, 130}, false, {}},
        {"data ending early", cat({{129}, red}), false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {50, 2, -2, 24, 7, {}, c.data});
        ASSERT_EQ(job.Read(body), 1);
        BitmapEntry* e = job.Get(50);
        ASSERT_EQ(job.Load(e), c.loads);
        if (c.loads) {
            EXPECT_EQ(Rows(e), c.rows);
        }
    }
}

// ---- Masks, widening, classes ----

TEST(BitmapMasks, OneWherePixelsDifferFromTheKey)
{
    struct Case {
        const char* what;
        BitmapFields fields;
        uint32_t key;
        uint8_t firstByte;
    } cases[] = {
        {"1 bit, key 0 copies", {1, 4, 1, 1, 0, Palette({0, 0xFFFFFF}), {0xA0, 0, 0, 0}}, 0, 0xA0},
        {"1 bit, key 1 inverts", {1, 4, 1, 1, 0, Palette({0, 0xFFFFFF}), {0xA0, 0, 0, 0}}, 1, 0x50},
        {"1 bit, another key is all ones", {1, 4, 1, 1, 0, Palette({0, 0xFFFFFF}), {0xA0, 0, 0, 0}}, 7, 0xF0},
        {"4 bit index", {1, 4, 1, 4, 0, Palette({0, 1, 2, 3}), {0x12, 0x21, 0, 0}}, 2, 0x90},
        {"4 bit key past the palette", {1, 4, 1, 4, 0, std::vector<uint8_t>(64), {0x00, 0x00, 0, 0}}, 16, 0xF0},
        {"8 bit index", {1, 3, 1, 8, 0, Palette({0, 1, 2}), {2, 1, 2, 0}}, 2, 0x40},
        {"16 bit", {1, 2, 1, 16, 0, {}, {0x34, 0x12, 0x35, 0x12}}, 0xAB1234, 0x40},
        {"24 bit COLORREF", {1, 2, 1, 24, 0, {}, {1, 2, 3, 3, 2, 1, 0, 0}}, 0x010203, 0x40},
        {"32 bit, fourth byte ignored", {1, 2, 1, 32, 0, {}, {1, 2, 3, 77, 1, 2, 3, 0}}, 0x010203, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, c.fields);
        ASSERT_EQ(job.Read(body), 1);
        BitmapEntry* mask = BitmapCloneMask(&job.store->bitmaps, job.Get(1), c.key);
        ASSERT_NE(mask, nullptr);
        ASSERT_TRUE(job.Load(mask));
        EXPECT_EQ(BitmapPixelRows(mask)[0], c.firstByte);
    }
}

ImxStatus PrepareAccepts(ImoInstance, const ImxImage*, uint32_t) { return 0; }
ImxStatus PrepareRefuses(ImoInstance, const ImxImage*, uint32_t) { return 1; }

TEST(BitmapWidening, PaletteAnd16BitPixelsBecome24Bit)
{
    BitmapJob job;
    job.device->slots.BitmapPrepare = PrepareAccepts;
    SpoolBuilder body;
    AddBitmap(body, {1, 3, 1, 4, 0, Palette({0x0000FF, 0x00FF00, 0xFF0000}), {0x01, 0x20, 0, 0}});
    AddBitmap(body, {2, 2, 1, 16, 0, {}, {0x1F, 0x00, 0x00, 0x7C}});
    AddBitmap(body, {3, 2, 1, 8, 3, {}, {7, 200, 0, 0}});
    AddBitmap(body, {0x40000004, 2, 1, 16, 0, {}, {0, 0, 0, 0}});
    ASSERT_EQ(job.Read(body), 1);
    struct Case {
        ResourceId id;
        uint32_t flag;
        std::vector<uint8_t> rows;
    } cases[] = {
        {1, BITMAP_WIDEN_PALETTE, {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0}},
        {2, BITMAP_WIDEN_16, {255, 0, 0, 0, 0, 255, 0, 0}},
        {3, BITMAP_WIDEN_PALETTE, {7, 7, 7, 200, 200, 200, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        BitmapEntry* e = job.Get(c.id);
        EXPECT_NE(e->head.flags & c.flag, 0u);
        EXPECT_EQ(e->header.biBitCount, 24);
        EXPECT_EQ(e->header.biClrUsed, 0u);
        ASSERT_TRUE(job.Load(e));
        EXPECT_EQ(Rows(e), c.rows);
    }
    EXPECT_EQ(job.Get(0x40000004)->header.biBitCount, 16);  // generated ids are not widened
    job.device->slots.BitmapPrepare = PrepareRefuses;
    ResourceCost tally{};
    BitmapEntry* e = job.Get(1);
    BitmapRelease(&job.store->bitmaps, e, 0, &tally);
    ResourceBudgetCharge(job.budget, tally);
    EXPECT_FALSE(job.Load(e));
    EXPECT_EQ(e->pixels, nullptr);
}

TEST(BitmapClasses, PaletteAndPixelTests)
{
    EXPECT_EQ(BitmapPaletteClass(0, nullptr), 0x10u);
    EXPECT_EQ(BitmapPaletteClass(2, Palette({0, 0xFFFFFF}).data()), 0x10u);
    EXPECT_EQ(BitmapPaletteClass(2, Palette({0, 0x404040}).data()), 0x20u);
    EXPECT_EQ(BitmapPaletteClass(3, Palette({0x404040, 0x010101, 0x000001}).data()), 0x40u);
    struct Case {
        const char* what;
        BitmapFields fields;
        uint32_t hinted;  // class with IMO_OPTION_IMAGE_HINTS
        int mono;  // BitmapMonoDetect without hints
    } cases[] = {
        {"8 bit grey palette, pixels black and white",
         {1, 2, 1, 8, 0, Palette({0, 0x808080, 0xFFFFFF}), {0, 2, 0, 0}},
         0x10,
         1},
        {"8 bit grey palette, a grey pixel", {1, 2, 1, 8, 0, Palette({0, 0x808080, 0xFFFFFF}), {0, 1, 0, 0}}, 0x20, 0},
        {"24 bit pure", {1, 2, 1, 24, 0, {}, {0, 0, 0, 255, 255, 255, 0, 0}}, 0x10, 1},
        {"24 bit grey", {1, 2, 1, 24, 0, {}, {9, 9, 9, 255, 255, 255, 0, 0}}, 0x20, 0},
        {"24 bit colour", {1, 2, 1, 24, 0, {}, {9, 9, 9, 1, 2, 3, 0, 0}}, 0x40, 0},
        {"32 bit pure", {1, 1, 1, 32, 0, {}, {255, 255, 255, 7}}, 0x10, 1},
        {"16 bit keeps no class", {1, 2, 1, 16, 0, {}, {0, 0, 0, 0}}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob hinted(IMO_OPTION_IMAGE_HINTS);
        SpoolBuilder body;
        AddBitmap(body, c.fields);
        ASSERT_EQ(hinted.Read(body), 1);
        EXPECT_EQ(hinted.Get(1)->head.flags & (RESOURCE_COLOR_MASK | BITMAP_CLASS_SETTLED),
                  c.hinted | BITMAP_CLASS_SETTLED);
        BitmapJob plain;
        ASSERT_EQ(plain.Read(body), 1);
        BitmapEntry* e = plain.Get(1);
        EXPECT_EQ(BitmapMonoDetect(&plain.store->bitmaps, e), c.mono);
        EXPECT_NE(e->head.flags & BITMAP_CLASS_SETTLED, 0u);
        if (c.mono) {
            EXPECT_EQ(e->head.flags & RESOURCE_COLOR_MASK, 0x10u);
        }
        EXPECT_EQ(BitmapMonoDetect(&plain.store->bitmaps, e), c.mono);  // settled: answered without a scan
    }
}

TEST(BitmapRotation, QuarterTurnSwapsSizeAndStride)
{
    std::vector<uint8_t> source(size_t(BitmapRowBytes(1, 100)) * 50, 0), destination(8 * 100, 0xEE);
    source[0] = 0x80;  // pixel (0, 0)
    uint32_t size[2] = {100, 50};
    EXPECT_EQ(BitmapRotate(1, 3, 0, source.data(), BitmapRowBytes(1, 100), size, destination.data()), 8u);
    EXPECT_EQ(size[0], 50u);
    EXPECT_EQ(size[1], 100u);
    // A quarter turn of 90 degrees takes destination (x', y') from (y', H - 1 - x'): source (0, 0)
    // lands at x' = H - 1 = 49 of row 0.
    EXPECT_EQ((destination[49 / 8] >> (7 - 49 % 8)) & 1, 1);
}

}  // namespace
