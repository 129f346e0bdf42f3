// Threads drawing text at once through the one glyph cache, each on DCs of its own with fonts of
// its own and one font shared by all, under a bound small enough that they evict each other's
// glyphs: every drawing has the pixels of the same text rendered afresh.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/gdi/text/glyph_bitmap_cache.h"
#include "text_fixture.h"

namespace {

constexpr int W = 220, H = 60;

std::vector<uint8_t> DrawRun(HFONT font, const char16_t* text)
{
    Canvas canvas(W, H);
    HGDIOBJ old = SelectObject(canvas.dc, font);
    SetBkMode(canvas.dc, TRANSPARENT);
    const std::u16string run(text);
    TextOutW(canvas.dc, 4, 8, run.c_str(), int(run.size()));
    SelectObject(canvas.dc, old);
    return canvas.Mask(RGB(0, 0, 0));
}

TEST(GlyphCacheThreads, ThreadsShareAndEvictGlyphs)
{
    const wchar_t* faces[] = {L"Arial", L"Times New Roman", L"DejaVu Sans", L"Courier New"};
    const char16_t* texts[] = {u"Threads 0123", u"share glyphs", u"evict \u0436\u044f", u"Quick {fox}"};
    constexpr int kThreads = 4, kSizes = 3;
    std::vector<HFONT> fonts;  // thread t uses fonts[t * kSizes + s]; the last is shared
    for (int t = 0; t < kThreads; ++t)
        for (int s = 0; s < kSizes; ++s) {
            LOGFONTW log = MakeLogFont(faces[t], -(12 + 5 * s), s == 2 ? 700 : 400, s == 1);
            fonts.push_back(CreateFontIndirectW(&log));
        }
    LOGFONTW sharedLog = MakeLogFont(L"Arial", -18, 700, true);
    HFONT shared = CreateFontIndirectW(&sharedLog);
    const size_t previous = gdi::GlyphBitmapCacheLimitSet(0);
    std::vector<std::vector<uint8_t>> expected;
    for (int t = 0; t < kThreads; ++t)
        for (int s = 0; s < kSizes; ++s) expected.push_back(DrawRun(fonts[size_t(t * kSizes + s)], texts[t]));
    const auto sharedExpected = DrawRun(shared, texts[0]);
    gdi::GlyphBitmapCacheLimitSet(8000);

    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&, t] {
            for (int round = 0; round < 6; ++round) {
                for (int s = 0; s < kSizes; ++s)
                    if (DrawRun(fonts[size_t(t * kSizes + s)], texts[t]) != expected[size_t(t * kSizes + s)])
                        failures++;
                if (DrawRun(shared, texts[0]) != sharedExpected) failures++;
            }
        });
    for (auto& w : workers) w.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_LE(gdi::GlyphBitmapCacheStatsGet().bytes, 8000u);
    gdi::GlyphBitmapCacheLimitSet(previous);
    for (HFONT f : fonts) DeleteObject(f);
    DeleteObject(shared);
}

}  // namespace
