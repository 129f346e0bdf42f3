// Page borders, text and full-page bitmaps played by faxrender's host through the engine and
// Pelvane, the fax job split by faxview's reader and decoded by jbigkit. Borders frame each page
// and each four-up cell on top of its drawing; a page of text is compared with the same text
// drawn here. A document page rendered by Ghostscript at the fax resolution, sent as one
// full-page bitmap, comes back bit for bit at 1 bit and halftoned by the same rules at 8, 24 and
// 32 bits; bitmaps of blocks of every grey halftone to exactly the dots fills of those greys get.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "engine/common/render_options.h"
#include "platform/gdi.h"
#include "platform/gdi_text.h"
#include "platform/user.h"
#include "tests/outmodule/fax_job_output.h"
#include "tests/outmodule/pelvane_pages.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/spool_builder.h"
#include "tests/support/spool_payloads.h"
#include "tools/faxrender/fax_host.h"
#include "tools/faxview/fax_job_parse.h"

namespace {

TEST(PelvanePages, PageBordersFrameEveryPageOnTopOfItsDrawing)
{
    ASSERT_TRUE(JbigkitAvailable());
    constexpr uint32_t kBorders = 0x4;
    constexpr LONG kBorder = 3;  // the default border in page units; the page is placed one to one
    const std::vector<uint8_t> spool = Job(kPages, 1);
    for (const uint32_t budget : {45056u, 16u * 1024 * 1024}) {
        SCOPED_TRACE(budget);
        const Rendered r = Render(spool, budget, FaxFeed::Seekable, false, kBorders);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), kPages.size());
        for (size_t i = 0; i < kPages.size(); ++i) {
            Painted want = Paint(kPages[i]);
            for (LONG y = 0; y < kHeight; ++y)
                for (LONG x = 0; x < kWidth; ++x)
                    if (x < kBorder || y < kBorder || x >= kWidth - kBorder || y >= kHeight - kBorder)
                        Set(want, x, y, true);
            EXPECT_EQ(Differences(r.pages[i], want), 0u) << "page " << i;
        }
    }
}

}  // namespace

namespace {

// With borders each four-up cell gets a frame of its own around its placed page: in each quarter
// the black of the framed sheet is bounded by a ring whose outer edge is black all round (the
// plain sheet's page leaves part of that edge white), what the borders add lies within a few
// pixels of that edge, and nothing drawn without borders is lost.
TEST(PelvanePages, FourUpBordersFrameEachCell)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::vector<uint8_t> spool = FourUpJob(0, 1);
    const Rendered plain = Render(spool, 45056, FaxFeed::Seekable);
    const Rendered framed = Render(spool, 45056, FaxFeed::Seekable, false, 0x4);
    ASSERT_EQ(plain.result, 0u) << plain.cause;
    ASSERT_EQ(framed.result, 0u) << framed.cause;
    ASSERT_EQ(plain.pages.size(), 1u);
    ASSERT_EQ(framed.pages.size(), 1u);
    const JbigImage& a = plain.pages[0];
    const JbigImage& b = framed.pages[0];
    for (int q = 0; q < 4; ++q) {
        SCOPED_TRACE("quarter " + std::to_string(q));
        const LONG x0 = q % 2 == 0 ? 0 : kWidth / 2, y0 = q < 2 ? 0 : kHeight / 2;
        RECT box{kWidth, kHeight, -1, -1};  // bounds of the framed sheet's black in the quarter
        size_t lost = 0;
        for (LONG y = y0; y < y0 + kHeight / 2; ++y)
            for (LONG x = x0; x < x0 + kWidth / 2; ++x) {
                lost += Bit(a, x, y) && !Bit(b, x, y);
                if (Bit(b, x, y))
                    box = RECT{std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                               std::max(box.bottom, y + 1)};
            }
        EXPECT_EQ(lost, 0u);
        ASSERT_GT(box.right - box.left, kWidth / 4);
        ASSERT_GT(box.bottom - box.top, kHeight / 4);
        size_t gaps = 0, plainEdge = 0, inside = 0;
        for (LONG y = box.top; y < box.bottom; ++y)
            for (LONG x = box.left; x < box.right; ++x) {
                const bool edge = x == box.left || x == box.right - 1 || y == box.top || y == box.bottom - 1;
                const bool ring = x < box.left + 4 || x >= box.right - 4 || y < box.top + 4 || y >= box.bottom - 4;
                gaps += edge && !Bit(b, x, y);
                plainEdge += edge && Bit(a, x, y);
                inside += !ring && Bit(b, x, y) && !Bit(a, x, y);
            }
        EXPECT_EQ(gaps, 0u) << "the frame's outer edge is not closed";
        EXPECT_LT(plainEdge, size_t(2 * (box.right - box.left + box.bottom - box.top) - 4)) << "no frame was added";
        EXPECT_EQ(inside, 0u) << "the borders drew inside the frame";
    }
}

}  // namespace

namespace {

// A fax page of text: characters in two GDI faces (drawn by GDI into the band masks) and in a
// downloaded bitmap font (glyphs kept by the engine), played through faxrender's host, the engine
// and Pelvane, decoded by jbigkit and compared pixel by pixel with the text drawn here: the GDI
// characters by the stand-in into a 1-bit page at their baselines, the glyphs by hand.
struct TextRun {
    const char* face;  // null: the downloaded font
    int height;
    POINT start;
    std::u16string chars;
};
const TextRun kTextRuns[] = {
    {"Arial", -48, {100, 300}, u"Fax page Hxg@Wq"},
    {"Times New Roman", 40, {150, 1147}, u"band-crossing text"},  // the baseline near a band edge
    {nullptr, 0, {200, 1800}, u"\x05\x05\x05"},
};
constexpr LONG kAdvance = 44;
constexpr LONG kGlyphW = 37, kGlyphH = 30, kGlyphOriginY = 24;

bool GlyphInk(LONG x, LONG y) { return (x * 7 + y * 3) % 5 < 2; }

std::vector<uint8_t> Le32List(std::initializer_list<int64_t> values)
{
    std::vector<uint8_t> out;
    for (int64_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint64_t(v) >> (8 * i)));
    return out;
}

std::vector<uint8_t> TextJob()
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"job_flags", 1},
                                              {"copies", 1},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    uint32_t id = 0;
    for (const TextRun& run : kTextRuns) {
        ++id;
        if (run.face != nullptr) {
            LOGFONTA lf{};
            lf.lfHeight = run.height;
            lf.lfWeight = 400;
            std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", run.face);
            std::vector<uint8_t> font = Le32List({id, 0, 0});
            const auto* raw = reinterpret_cast<const uint8_t*>(&lf);
            font.insert(font.end(), raw, raw + sizeof lf);
            b.Raw(38, 1, font);
        } else {
            b.Raw(37, 1, Le32List({id, 0, kGlyphH}));
            std::vector<uint8_t> glyph = Le32List({5, id, kGlyphW, kGlyphH, 0, kGlyphOriginY});
            const size_t stride = (kGlyphW + 31) / 32 * 4;
            for (LONG y = 0; y < kGlyphH; ++y) {
                std::vector<uint8_t> row(stride, 0);
                for (LONG x = 0; x < kGlyphW; ++x)
                    if (GlyphInk(x, y)) row[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
                glyph.insert(glyph.end(), row.begin(), row.end());
            }
            b.Raw(39, 0, glyph);
        }
        const uint16_t flags = run.face != nullptr ? 0x2 : 0x1;  // wide characters, or glyph indices
        std::vector<uint8_t> text = Le32List({0, 0, kWidth, kHeight, 0, 0, id, 0, kBlack, int64_t(run.chars.size())});
        text.insert(text.end(), {uint8_t(flags), 0, R2_COPYPEN, R2_NOP});
        for (size_t i = 0; i < run.chars.size(); ++i) {
            const auto xy = Le32List({run.start.x + kAdvance * LONG(i), run.start.y});
            text.insert(text.end(), xy.begin(), xy.end());
        }
        for (char16_t c : run.chars) text.insert(text.end(), {uint8_t(c), uint8_t(c >> 8)});
        b.Raw(16, 0, text);
    }
    b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

JbigImage TextReference()
{
    // The stand-in draws the GDI characters into a white 1-bit page: 0 bits are ink.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = kWidth;
    info.header.biHeight = -kHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biClrUsed = 2;
    info.colours[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP page = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, page);
    PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS);
    SetTextAlign(dc, TA_BASELINE);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, 0);
    for (const TextRun& run : kTextRuns) {
        if (run.face == nullptr) continue;
        LOGFONTA lf{};
        lf.lfHeight = run.height;
        lf.lfWeight = 400;
        lf.lfQuality = NONANTIALIASED_QUALITY;
        std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", run.face);
        HFONT font = CreateFontIndirectA(&lf);
        HGDIOBJ oldFont = SelectObject(dc, font);
        for (size_t i = 0; i < run.chars.size(); ++i) {
            const WCHAR c = run.chars[i];
            ExtTextOutW(dc, run.start.x + kAdvance * LONG(i), run.start.y, 0, nullptr, &c, 1, nullptr);
        }
        SelectObject(dc, oldFont);
        DeleteObject(font);
    }
    GdiFlush();
    JbigImage want;
    want.width = kWidth;
    want.height = kHeight;
    want.rows.assign(size_t(kHeight) * kStride, 0);
    const size_t dibStride = (kWidth + 31) / 32 * 4;
    const auto* dib = static_cast<const uint8_t*>(bits);
    for (LONG y = 0; y < kHeight; ++y)
        for (size_t i = 0; i < kStride; ++i)
            want.rows[size_t(y) * kStride + i] = uint8_t(~dib[size_t(y) * dibStride + i]);
    SelectObject(dc, oldBitmap);
    DeleteObject(page);
    DeleteDC(dc);
    // The glyphs by hand: each cell's top-left at the position less the origin's height.
    for (const TextRun& run : kTextRuns) {
        if (run.face != nullptr) continue;
        for (size_t i = 0; i < run.chars.size(); ++i)
            for (LONG y = 0; y < kGlyphH; ++y)
                for (LONG x = 0; x < kGlyphW; ++x)
                    if (GlyphInk(x, y)) {
                        const LONG px = run.start.x + kAdvance * LONG(i) + x, py = run.start.y - kGlyphOriginY + y;
                        want.rows[size_t(py) * kStride + size_t(px) / 8] |= uint8_t(0x80 >> (px % 8));
                    }
    }
    return want;
}

TEST(PelvanePages, TextDecodesToTheSameTextDrawnHere)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::vector<uint8_t> spool = TextJob();
    const JbigImage want = TextReference();
    size_t ink = 0;
    for (uint8_t byte : want.rows) ink += size_t(__builtin_popcount(byte));
    ASSERT_GT(ink, 5000u);
    for (uint32_t bandMemory : {45056u, 16u * 1024 * 1024}) {
        SCOPED_TRACE(bandMemory);
        const Rendered r = Render(spool, bandMemory, FaxFeed::Seekable);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), 1u);
        const JbigImage& got = r.pages[0];
        ASSERT_EQ(got.width, want.width);
        ASSERT_EQ(got.height, want.height);
        size_t wrong = 0;
        for (LONG y = 0; y < kHeight; ++y)
            for (LONG x = 0; x < kWidth; ++x) wrong += Bit(got, x, y) != Bit(want, x, y);
        EXPECT_EQ(wrong, 0u);
    }
}

// A document page: headings and paragraphs in two faces, a ruled table, a filled and a stroked
// shape and a grey band, as PostScript for Ghostscript to render.
const char kDocument[] = R"(%!PS
/Times-Bold findfont 28 scalefont setfont 60 760 moveto (Quarterly report on deliveries) show
/Times-Roman findfont 11 scalefont setfont
0 1 30 { /i exch def 60 720 i 14 mul sub moveto
  (Each line of this paragraph sets words at the fax resolution, with kerning and small serifs.) show } for
/Helvetica findfont 9 scalefont setfont
0.6 setlinewidth 60 180 moveto 540 180 lineto stroke
0 1 6 { /r exch def 60 300 r 18 mul sub moveto 540 300 r 18 mul sub lineto stroke
  70 286 r 18 mul sub moveto (Region) show 250 286 r 18 mul sub moveto (1,234.56) show } for
0 1 3 { /c exch def 60 c 160 mul add 300 moveto 0 -108 rlineto stroke } for
newpath 470 90 40 0 360 arc fill newpath 380 90 40 0 360 arc 2 setlinewidth stroke
0.8 setgray 60 40 300 30 rectfill 0.3 setgray 120 48 80 14 rectfill
showpage
)";

// The page as Ghostscript renders it on the given device: the file's pixels behind its header, or
// empty when Ghostscript is not there.
std::vector<uint8_t> Ghostscript(const char* device, size_t bytesPerRow, const char* options = "")
{
    const std::string base = ::testing::TempDir() + "bitmap_page_" + device;
    std::ofstream(base + ".ps") << kDocument;
    const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=" + std::string(device) + " " + options +
                                " -r204x196 -g" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                " -sOutputFile=" + base + ".out " + base + ".ps 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(base + ".out", std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t size = bytesPerRow * size_t(kHeight);
    if (file.size() < size) return {};
    return std::vector<uint8_t>(file.end() - static_cast<ptrdiff_t>(size), file.end());
}

// One page holding one BitBlt of a full-page top-down bitmap.
std::vector<uint8_t> BitmapPageJob(uint8_t depth, const std::vector<uint32_t>& palette,
                                   const std::vector<uint8_t>& rows)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"job_flags", 1},
                                              {"copies", 1},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.Raw(kSpoolBitmapType, 0, SpoolBitmapPayload(1, kWidth, -kHeight, depth, palette, rows));
    b.Raw(kSpoolBitBltType, 0, SpoolBitBltPayload({0, 0, kWidth, kHeight}, {0, 0}, 1));
    b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

TEST(PelvanePages, AFullPageOneBitBitmapComesBackBitForBit)
{
    // Ghostscript's bitmap: 1 is black, rows of whole bytes (216, already a multiple of 4).
    const std::vector<uint8_t> rows = Ghostscript("pbmraw", kStride);
    if (rows.empty()) GTEST_SKIP() << "Ghostscript is not installed";
    size_t ink = 0;
    for (uint8_t byte : rows) ink += size_t(__builtin_popcount(byte));
    ASSERT_GT(ink, 50000u);
    // Black for 1 through the palette, as the bitmap's own colours say.
    const std::vector<uint8_t> spool = BitmapPageJob(1, {0xFFFFFF, 0x000000}, rows);
    for (uint32_t bandMemory : {45056u, 16u * 1024 * 1024}) {
        SCOPED_TRACE(bandMemory);
        const Rendered r = Render(spool, bandMemory, FaxFeed::Seekable);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), 1u);
        ASSERT_EQ(r.pages[0].width, uint32_t(kWidth));
        ASSERT_EQ(r.pages[0].height, uint32_t(kHeight));
        EXPECT_TRUE(r.pages[0].rows == rows);
    }
}

// A halftoned page judged against the grey page it came from: white stays white and black black,
// the dots repeat with the screen's period wherever the page is flat, and every screen-sized tile
// is inked in proportion to its darkness.
void HalftoneJudge(const JbigImage& got, const std::vector<uint8_t>& grey)
{
    ASSERT_EQ(got.width, uint32_t(kWidth));
    ASSERT_EQ(got.height, uint32_t(kHeight));
    size_t wrongPure = 0, aperiodic = 0, tilesOff = 0;
    const auto g = [&](LONG x, LONG y) { return grey[size_t(y) * kWidth + size_t(x)]; };
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            if (g(x, y) == 255) wrongPure += Bit(got, x, y);
            if (g(x, y) == 0) wrongPure += !Bit(got, x, y);
            if (x + LONG(kScreen) < kWidth && g(x + kScreen, y) == g(x, y))
                aperiodic += Bit(got, x + kScreen, y) != Bit(got, x, y);
        }
    for (LONG ty = 0; ty + LONG(kScreen) <= kHeight; ty += kScreen)
        for (LONG tx = 0; tx + LONG(kScreen) <= kWidth; tx += kScreen) {
            double want = 0, black = 0;
            for (LONG y = ty; y < ty + LONG(kScreen); ++y)
                for (LONG x = tx; x < tx + LONG(kScreen); ++x) {
                    want += (255 - g(x, y)) / 255.0;
                    black += Bit(got, x, y);
                }
            tilesOff += std::abs(black - want) > 0.02 * kScreen * kScreen;
        }
    EXPECT_EQ(wrongPure, 0u) << "white or black pixels changed";
    EXPECT_EQ(aperiodic, 0u) << "the screen's phase moved";
    EXPECT_EQ(tilesOff, 0u) << "tiles inked out of proportion";
}

TEST(PelvanePages, FullPageGreyAndColourBitmapsHalftoneLikeTheirGreys)
{
    // Ghostscript's grey page, anti-aliased so that edges and the grey band carry middle values.
    const std::vector<uint8_t> grey = Ghostscript("pgmraw", size_t(kWidth), "-dTextAlphaBits=4 -dGraphicsAlphaBits=4");
    if (grey.empty()) GTEST_SKIP() << "Ghostscript is not installed";
    std::vector<uint32_t> ramp(256);
    for (uint32_t i = 0; i < 256; ++i) ramp[i] = i * 0x010101;
    std::vector<uint8_t> rows24(size_t(kHeight) * kWidth * 3), rows32(size_t(kHeight) * kWidth * 4);
    for (size_t i = 0; i < grey.size(); ++i) {
        std::fill_n(&rows24[i * 3], 3, grey[i]);
        std::fill_n(&rows32[i * 4], 3, grey[i]);
    }
    struct Case {
        const char* name;
        uint8_t depth;
        std::vector<uint32_t> palette;
        const std::vector<uint8_t>* rows;
    } cases[] = {{"8-bit", 8, ramp, &grey}, {"24-bit", 24, {}, &rows24}, {"32-bit", 32, {}, &rows32}};
    std::vector<uint8_t> first;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rendered r = Render(BitmapPageJob(c.depth, c.palette, *c.rows), 160 * 1024, FaxFeed::Seekable);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), 1u);
        HalftoneJudge(r.pages[0], grey);
        // The same greys give the same dots whatever the bitmap's format.
        if (first.empty()) first = r.pages[0].rows;
        else EXPECT_TRUE(r.pages[0].rows == first);
    }
}

// Full-page bitmaps of 8, 24 and 32 bits made of blocks of the 256 greys halftone to exactly the
// dots that fills of the same greys get from the texture cache, pixel for pixel.
TEST(PelvanePages, GreyBlocksOfBitmapsHalftoneAsFillsOfTheirGreysDo)
{
    constexpr LONG kBlockW = kWidth / 32, kBlockH = kHeight / 8;
    auto greyAt = [&](LONG x, LONG y) {
        const LONG bx = x / kBlockW, by = y / kBlockH;
        return bx < 32 && by < 8 ? uint8_t(by * 32 + bx) : uint8_t(255);
    };
    std::vector<uint8_t> grey(size_t(kWidth) * kHeight), rows24(size_t(kWidth) * kHeight * 3),
        rows32(size_t(kWidth) * kHeight * 4);
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            const size_t i = size_t(y) * kWidth + size_t(x);
            grey[i] = greyAt(x, y);
            std::fill_n(&rows24[i * 3], 3, grey[i]);
            std::fill_n(&rows32[i * 4], 3, grey[i]);
        }
    Page fills;
    for (LONG by = 0; by < 8; ++by)
        for (LONG bx = 0; bx < 32; ++bx) {
            const uint32_t g = uint32_t(by * 32 + bx);
            fills.push_back({Kind::Gray,
                             {bx * kBlockW, by * kBlockH, (bx + 1) * kBlockW, (by + 1) * kBlockH},
                             0x80000000 | g * 0x010101});
        }
    const Rendered want = Render(Job({fills}, 1), 160 * 1024, FaxFeed::Seekable);
    ASSERT_EQ(want.result, 0u) << want.cause;
    ASSERT_EQ(want.pages.size(), 1u);
    // About half the page is inked: the greys are halftoned, not made white or black.
    size_t ink = 0;
    for (uint8_t byte : want.pages[0].rows) ink += size_t(__builtin_popcount(byte));
    EXPECT_NEAR(double(ink) / (double(kWidth) * kHeight), 0.5, 0.02);
    std::vector<uint32_t> ramp(256);
    for (uint32_t i = 0; i < 256; ++i) ramp[i] = i * 0x010101;
    struct Case {
        const char* name;
        uint8_t depth;
        std::vector<uint32_t> palette;
        const std::vector<uint8_t>* rows;
    } cases[] = {{"8-bit", 8, ramp, &grey}, {"24-bit", 24, {}, &rows24}, {"32-bit", 32, {}, &rows32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rendered r = Render(BitmapPageJob(c.depth, c.palette, *c.rows), 160 * 1024, FaxFeed::Seekable);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), 1u);
        size_t wrong = 0;
        for (LONG y = 0; y < kHeight; ++y)
            for (LONG x = 0; x < kWidth; ++x) wrong += Bit(r.pages[0], x, y) != Bit(want.pages[0], x, y);
        EXPECT_EQ(wrong, 0u);
    }
}

}  // namespace
