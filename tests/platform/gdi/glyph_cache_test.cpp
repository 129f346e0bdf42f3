// Text drawn from the glyph cache gives the pixels and extents of text rendered afresh (the cache
// bound 0 keeps nothing), at several faces, sizes, weights, slants, angles and mappings, under a
// bound that evicts, and for private fonts installed, removed and installed again.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/gdi/glyph_bitmap_cache.h"
#include "platform/kernel.h"
#include "text_fixture.h"

namespace {

constexpr int W = 360, H = 160;

struct Case {
    const wchar_t* face;
    LONG height;
    LONG weight;
    bool italic;
    LONG escapement;
    int scale;  // MM_ANISOTROPIC viewport extent over a window extent of 2 (0: MM_TEXT)
};

const Case kCases[] = {
    {L"Arial", -13, 400, false, 0, 0},           {L"Arial", -31, 700, false, 0, 0},
    {L"Times New Roman", 24, 400, true, 0, 0},   {L"DejaVu Sans", -20, 700, true, 0, 0},  // synthesised
    {L"Courier New", -17, 400, false, 300, 0},   {L"Liberation Serif", -15, 400, false, 0, 3},
    {L"DejaVu Serif", -11, 400, false, 2700, 0}, {L"Arial", -9, 400, false, 0, 5},
};

const char16_t kText[] = u"Hamburgefonstiv 0123 \u0436\u044f";

// The run drawn at the case's font, and its measured extent.
struct Drawn {
    std::vector<uint8_t> mask;
    SIZE extent{};
};

Drawn DrawCase(const Case& c)
{
    Canvas canvas(W, H);
    if (c.scale) {
        SetMapMode(canvas.dc, MM_ANISOTROPIC);
        SetWindowExtEx(canvas.dc, 2, 2, nullptr);
        SetViewportExtEx(canvas.dc, c.scale, c.scale, nullptr);
    }
    SelectedFont font(canvas.dc, c.face, c.height, c.weight, c.italic, c.escapement);
    SetBkMode(canvas.dc, TRANSPARENT);
    SetTextAlign(canvas.dc, TA_BASELINE);
    const std::u16string text(kText);
    const int x = c.scale ? 20 : 40, y = c.scale ? 40 : 80;
    Drawn d;
    EXPECT_TRUE(TextOutW(canvas.dc, x, y, text.c_str(), int(text.size())));
    EXPECT_TRUE(GetTextExtentPoint32W(canvas.dc, text.c_str(), int(text.size()), &d.extent));
    d.mask = canvas.Mask(RGB(0, 0, 0));
    return d;
}

// Sets the cache's bound for the life of the object.
struct Limit {
    size_t previous;
    explicit Limit(size_t bytes) : previous(gdi::GlyphBitmapCacheLimitSet(bytes)) {}
    ~Limit() { gdi::GlyphBitmapCacheLimitSet(previous); }
};

class GlyphCache : public ::testing::TestWithParam<Case> {};

TEST_P(GlyphCache, CachedTextEqualsTextRenderedAfresh)
{
    Drawn fresh;
    {
        Limit none(0);
        fresh = DrawCase(GetParam());
        EXPECT_EQ(gdi::GlyphBitmapCacheStatsGet().entries, 0u);
    }
    ASSERT_GT(std::count(fresh.mask.begin(), fresh.mask.end(), 1), 30);
    const Drawn filling = DrawCase(GetParam());
    const uint64_t hitsBefore = gdi::GlyphBitmapCacheStatsGet().hits;
    const Drawn cached = DrawCase(GetParam());
    EXPECT_GT(gdi::GlyphBitmapCacheStatsGet().hits, hitsBefore + 20);  // every character again
    EXPECT_EQ(filling.mask, fresh.mask) << MaskDiff(filling.mask, fresh.mask, W, H);
    EXPECT_EQ(cached.mask, fresh.mask) << MaskDiff(cached.mask, fresh.mask, W, H);
    EXPECT_EQ(cached.extent.cx, fresh.extent.cx);
    EXPECT_EQ(cached.extent.cy, fresh.extent.cy);
}

INSTANTIATE_TEST_SUITE_P(Faces, GlyphCache, ::testing::ValuesIn(kCases));

TEST(GlyphCacheBound, EvictsTheOldestAndStillDrawsTheSame)
{
    std::vector<Drawn> fresh;
    {
        Limit none(0);
        for (const Case& c : kCases) fresh.push_back(DrawCase(c));
    }
    Limit small(6000);
    for (int round = 0; round < 2; ++round) {
        for (size_t i = 0; i < std::size(kCases); ++i) {
            const Drawn d = DrawCase(kCases[i]);
            EXPECT_EQ(d.mask, fresh[i].mask) << i << "\n" << MaskDiff(d.mask, fresh[i].mask, W, H);
            EXPECT_EQ(d.extent.cx, fresh[i].extent.cx);
            const gdi::GlyphBitmapCacheStats s = gdi::GlyphBitmapCacheStatsGet();
            EXPECT_LE(s.bytes, 6000u);
            EXPECT_GT(s.entries, 0u);
        }
    }
    // The first case's glyphs were pushed out by the others: drawing it again renders them anew.
    const uint64_t misses = gdi::GlyphBitmapCacheStatsGet().misses;
    DrawCase(kCases[0]);
    EXPECT_GT(gdi::GlyphBitmapCacheStatsGet().misses, misses + 10);
}

// A private font removed and another installed under the same family name draws as the new one,
// never from glyphs kept for the old.
TEST(GlyphCacheFaces, ReinstalledFamilyDrawsTheNewFace)
{
    const Case c{L"Qvcachefamily", -22, 400, false, 0, 0};
    const std::string files[2] = {SystemFontFile(L"DejaVu Sans"), SystemFontFile(L"DejaVu Serif")};
    Drawn expected[2];
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 2; ++i) {
            const std::vector<uint8_t> bytes = RenamedFont(files[i], "Qvcachefamily");
            DWORD faces = 0;
            HANDLE installed = AddFontMemResourceEx(bytes.data(), DWORD(bytes.size()), nullptr, &faces);
            ASSERT_NE(installed, nullptr);
            if (pass == 0) {
                Limit none(0);
                expected[i] = DrawCase(c);
            } else {
                for (int twice = 0; twice < 2; ++twice) {
                    const Drawn d = DrawCase(c);
                    EXPECT_EQ(d.mask, expected[i].mask) << i << "\n" << MaskDiff(d.mask, expected[i].mask, W, H);
                }
            }
            ASSERT_TRUE(RemoveFontMemResourceEx(installed));
        }
    }
    EXPECT_NE(expected[0].mask, expected[1].mask);
}

}  // namespace
