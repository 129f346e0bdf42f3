// Running out of memory inside a render: a page of text rendered by ImeRender through Pelvane
// while this program's operator new refuses, from the module's first write on, either every block
// or only large ones (the glyphs of a large font, which the platform's glyph cache keeps in C++
// containers). The render returns ERROR_NOT_ENOUGH_MEMORY, the fax job ends with the module's
// cancel line, the log says the job ran out of memory, and the next render in the same process
// draws the page. GDI's calls that keep C++ containers (text, regions, blits, fonts, bitmaps) fail
// with ERROR_NOT_ENOUGH_MEMORY when those cannot grow, and work once memory is back.
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/log_context.h"
#include "engine/job/render_call.h"
#include "engine/services/cmm/cmm_world.h"
#include "platform/gdi.h"
#include "platform/gdi_text.h"
#include "platform/kernel.h"
#include "rastrel/imx.h"
#include "tests/support/memory_stream.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/refusing_new.h"
#include "tests/support/spool_builder.h"

namespace {
enum Refusal { kNone, kLarge, kEvery, kCounted };
std::atomic<int> gRefuse{kNone};
std::atomic<long> gAllowance{0};  // kCounted: blocks given before every later one is refused
std::atomic<int> gArmOnWrite{kNone};  // the refusal the module's first write turns on
constexpr std::size_t kLargeBlock = 2048;
bool Refused(std::size_t size)
{
    const int refuse = gRefuse.load();
    if (refuse == kCounted) return gAllowance.fetch_sub(1) <= 0;
    return refuse == kEvery || (refuse == kLarge && size >= kLargeBlock);
}
}  // namespace

bool NewRefused(std::size_t size) { return Refused(size); }

namespace {

constexpr int32_t kWidth = 1728, kHeight = 2292;
constexpr uint32_t kBlack = 0x80000000;

// A page of lines in a font large enough that each glyph's bitmap is a large block; each case has a
// size of its own, so that no glyph of it is cached yet.
std::vector<uint8_t> TextJob(int32_t height)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.Add("font_log", {{"id", 201}, {"height", height}, {"weight", 400}, {"face", "Liberation Sans"}});
    const std::u16string text = u"Memory WAM";
    for (int line = 0; line < 6; ++line) {
        const int32_t x = 100, y = 300 + line * 330, advance = 150;
        std::vector<uint8_t> data;
        const auto put32 = [&data](int32_t v) {
            for (int k = 0; k < 4; ++k) data.push_back(uint8_t(uint32_t(v) >> (8 * k)));
        };
        for (size_t i = 0; i < text.size(); ++i) {
            put32(x + int32_t(i) * advance);
            put32(y);
        }
        for (char16_t c : text) {
            data.push_back(uint8_t(c));
            data.push_back(uint8_t(c >> 8));
        }
        b.Add("cmd_text", {{"left", x - 20},
                           {"top", y - 260},
                           {"right", x + int32_t(text.size()) * advance + 60},
                           {"bottom", y + 80},
                           {"font", 201},
                           {"brush", kBlack},
                           {"count", uint32_t(text.size())},
                           {"flags", 2},
                           {"mix", 13},
                           {"mix2", 11},
                           {"data", data}});
    }
    b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

// The module's bytes, kept in room taken beforehand so that writing them allocates nothing.
struct Sink {
    std::vector<uint8_t> bytes;
    size_t used = 0;
    bool overflowed = false;
    Sink() : bytes(size_t{8} << 20) {}
    std::string Text() const { return std::string(bytes.begin(), bytes.begin() + std::ptrdiff_t(used)); }
};

BOOL Collect(void* argument, const void* data, uint32_t length)
{
    auto* sink = static_cast<Sink*>(argument);
    gRefuse = gArmOnWrite.load();
    if (sink->used + length > sink->bytes.size()) {
        sink->overflowed = true;
        return FALSE;
    }
    std::copy_n(static_cast<const uint8_t*>(data), length, sink->bytes.begin() + std::ptrdiff_t(sink->used));
    sink->used += length;
    return TRUE;
}

// The engine's log of one call, in an anonymous file read back after it.
struct CallLog {
    LogContext context{};
    int fd = memfd_create("render-oom-log", MFD_CLOEXEC);
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    CallLog()
    {
        context.path = path.data();
        context.jobName = const_cast<char*>("render-oom");
        context.counterFrequency = 1000000000;
        InitializeCriticalSection(&context.lock);
    }
    ~CallLog()
    {
        DeleteCriticalSection(&context.lock);
        close(fd);
    }
    std::string Text() const
    {
        std::string text(1 << 16, '\0');
        const ssize_t n = pread(fd, text.data(), text.size(), 0);
        text.resize(n > 0 ? size_t(n) : 0);
        return text;
    }
};

struct Rendered {
    uint32_t result = ~0u;
    bool threw = false;
    std::string fax;
    std::string log;
};

Rendered Render(const std::vector<uint8_t>& spool, Refusal refusal, long allowance = 0, bool fromStart = false)
{
    Rendered out;
    MemoryStream stream;
    stream.data = spool;
    stream.seekable = true;
    RenderOptions options{};
    auto sink = std::make_unique<Sink>();
    CallLog log;
    gArmOnWrite = refusal;
    gAllowance = allowance;
    if (fromStart) gRefuse = refusal;
    try {
        out.result = ImeRender("pelvane", 7, nullptr, PELVANE_LIBRARY, &options, &log.context, &stream, sink.get(),
                               MemoryStreamRead, MemoryStreamSeek, Collect);
    } catch (...) {
        out.threw = true;
    }
    gRefuse = kNone;
    gArmOnWrite = kNone;
    LogCurrentSet(nullptr);  // the caller's log stays in the thread's slot; this one ends here
    EXPECT_FALSE(sink->overflowed);
    out.fax = sink->Text();
    out.log = log.Text();
    return out;
}

struct OomCase {
    const char* name;
    Refusal refusal;
    const char* logged;  // what the log says of it
    int32_t fontHeight;
};

class RenderOutOfMemory : public ::testing::TestWithParam<OomCase> {};

TEST_P(RenderOutOfMemory, IsResultEightWithTheCancelLineAndTheProcessRendersOn)
{
    const std::vector<uint8_t> spool = TextJob(GetParam().fontHeight);
    const Rendered failed = Render(spool, GetParam().refusal);
    ASSERT_FALSE(failed.threw) << "an exception left ImeRender";
    EXPECT_EQ(failed.result, uint32_t(ERROR_NOT_ENOUGH_MEMORY)) << failed.log;
    const size_t cancel = failed.fax.rfind("@PJL SET JOBSTATUS = CANCEL");
    ASSERT_NE(cancel, std::string::npos) << failed.fax;
    EXPECT_EQ(failed.fax.find("@PJL", cancel + 1), std::string::npos) << "nothing follows the cancel line";
    EXPECT_EQ(failed.fax.find("@PJL EOJ"), std::string::npos);
    EXPECT_NE(failed.log.find(GetParam().logged), std::string::npos) << failed.log;

    const Rendered again = Render(spool, kNone);
    EXPECT_EQ(again.result, 0u) << again.log;
    EXPECT_NE(again.fax.find("@PJL SET IMAGELEN"), std::string::npos) << "the page's image";
    EXPECT_NE(again.fax.find("@PJL EOJ"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Refusals, RenderOutOfMemory,
                         // Every block: the page's first device context, font and stock objects cannot
                         // be made. Large blocks: the page is read, its glyphs cannot be drawn.
                         ::testing::Values(OomCase{"EveryBlock", kEvery, "out of memory at the record", -240},
                                           OomCase{"LargeBlocks", kLarge, "the job ran out of memory", -250}),
                         [](const ::testing::TestParamInfo<OomCase>& info) { return std::string(info.param.name); });

// Memory that runs out after 0, 1, 2, ... blocks of the render call: every render either
// completes or fails for lack of memory (8, or the module's own code for it when the module ran
// out) with the cancel line once the module has written anything, none throws, and the process
// renders on.
TEST(RenderOutOfMemoryAtEveryStep, EachRenderCompletesOrFailsForLackOfMemory)
{
    const std::vector<uint8_t> spool = TextJob(-60);
    long allowed = 0;
    uint32_t result = ~0u;
    for (; result != 0 && allowed < 20000; ++allowed) {
        const Rendered r = Render(spool, kCounted, allowed, true);
        ASSERT_FALSE(r.threw) << "an exception left ImeRender after " << allowed << " blocks";
        result = r.result;
        if (result == 0) break;
        EXPECT_TRUE(result == uint32_t(ERROR_NOT_ENOUGH_MEMORY) || result == uint32_t(IMX_ERR_NO_MEMORY))
            << result << " after " << allowed << " blocks\n"
            << r.log;
        if (!r.fax.empty()) {
            EXPECT_NE(r.fax.rfind("@PJL SET JOBSTATUS = CANCEL"), std::string::npos) << allowed << " blocks";
        }
    }
    EXPECT_EQ(result, 0u);
    EXPECT_GT(allowed, 1) << "the render needs blocks of its own";
}

// A glyph whose bitmap is a large block cannot be kept: the call fails with ERROR_NOT_ENOUGH_MEMORY
// and throws nothing; with memory back the same call draws.
TEST(TextOutOfMemory, ExtTextOutWFailsWithNotEnoughMemoryWhenItsGlyphsCannotBeKept)
{
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 800;
    info.bmiHeader.biHeight = -400;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    LOGFONTW lf{};
    lf.lfHeight = -311;  // a size no other test here draws at: nothing of it is cached yet
    lf.lfWeight = 400;
    const std::u16string face = u"DejaVu Serif";
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    HFONT font = CreateFontIndirectW(&lf);
    ASSERT_NE(font, nullptr);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    const std::u16string text = u"Wm";
    const auto* codes = reinterpret_cast<LPCWSTR>(text.data());
    std::fill_n(static_cast<uint32_t*>(bits), 800 * 400, 0xFFFFFFFFu);

    BOOL drawn = TRUE;
    DWORD error = 0;
    bool threw = false;
    gRefuse = kLarge;
    try {
        SetLastError(0);
        drawn = ExtTextOutW(dc, 20, 330, 0, nullptr, codes, UINT(text.size()), nullptr);
        error = GetLastError();
    } catch (...) {
        threw = true;
    }
    gRefuse = kNone;
    ASSERT_FALSE(threw) << "an exception left ExtTextOutW";
    EXPECT_FALSE(drawn);
    EXPECT_EQ(error, DWORD(ERROR_NOT_ENOUGH_MEMORY));

    EXPECT_TRUE(ExtTextOutW(dc, 20, 330, 0, nullptr, codes, UINT(text.size()), nullptr));
    size_t ink = 0;
    for (size_t i = 0; i < 800 * 400; ++i) ink += (static_cast<const uint32_t*>(bits)[i] & 0xFFFFFFu) != 0xFFFFFFu;
    EXPECT_GT(ink, 1000u);

    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// GDI calls whose C++ containers run out: each fails with ERROR_NOT_ENOUGH_MEMORY and throws
// nothing, and the same call works once memory is back. The objects they use are made beforehand.
struct GdiMemory {
    HDC dc = CreateCompatibleDC(nullptr);
    HDC source = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr, sourceBitmap = nullptr;
    HRGN many = CreateRectRgn(0, 0, 0, 0);
    std::vector<uint8_t> rects;  // RGNDATA of 1,000 separate squares
    LOGFONTW font{};
    GdiMemory()
    {
        font.lfHeight = -20;
        const std::u16string face = u"Liberation Serif Bold";  // longer than a string's own room
        std::copy(face.begin(), face.end(), font.lfFaceName);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = 1000;
        info.bmiHeader.biHeight = -8;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        SelectObject(dc, bitmap);
        // An 8-bit source with its colour table: bitmaps made for it copy the table.
        std::vector<uint8_t> palette(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
        auto* eight = reinterpret_cast<BITMAPINFO*>(palette.data());
        eight->bmiHeader = info.bmiHeader;
        eight->bmiHeader.biWidth = 10;
        eight->bmiHeader.biBitCount = 8;
        sourceBitmap = CreateDIBSection(source, eight, DIB_RGB_COLORS, &bits, nullptr, 0);
        SelectObject(source, sourceBitmap);
        rects.resize(sizeof(RGNDATAHEADER) + 1000 * sizeof(RECT));
        auto* data = reinterpret_cast<RGNDATA*>(rects.data());
        data->rdh.dwSize = sizeof(RGNDATAHEADER);
        data->rdh.iType = RDH_RECTANGLES;
        data->rdh.nCount = 1000;
        for (int i = 0; i < 1000; ++i) {
            const RECT r{(i % 40) * 4, (i / 40) * 4, (i % 40) * 4 + 2, (i / 40) * 4 + 2};
            std::memcpy(data->Buffer + i * sizeof(RECT), &r, sizeof r);
        }
        HRGN made = ExtCreateRegion(nullptr, DWORD(rects.size()), data);
        CombineRgn(many, made, nullptr, RGN_COPY);
        DeleteObject(made);
    }
    ~GdiMemory()
    {
        DeleteDC(dc);
        DeleteDC(source);
        DeleteObject(bitmap);
        DeleteObject(sourceBitmap);
        DeleteObject(many);
    }
};

struct GdiCase {
    const char* name;
    Refusal refusal;
    std::function<bool(GdiMemory&)> call;  // true: it worked (and what it made is deleted)
};

bool Made(HGDIOBJ object)
{
    if (!object) return false;
    DeleteObject(object);
    return true;
}

const GdiCase kGdiCases[] = {
    {"ExtCreateRegion", kLarge,
     [](GdiMemory& g) {
         return Made(ExtCreateRegion(nullptr, DWORD(g.rects.size()), reinterpret_cast<const RGNDATA*>(g.rects.data())));
     }},
    {"GetRegionData", kLarge, [](GdiMemory& g) { return GetRegionData(g.many, 0, nullptr) != 0; }},
    {"StretchBlt", kLarge,
     [](GdiMemory& g) { return StretchBlt(g.dc, 0, 0, 1000, 8, g.source, 0, 0, 10, 8, SRCCOPY) != FALSE; }},
    {"CreateDIBitmap", kEvery,
     [](GdiMemory& g) {
         BITMAPINFOHEADER header{};
         header.biSize = sizeof header;
         header.biWidth = 4;
         header.biHeight = 4;
         header.biPlanes = 1;
         header.biBitCount = 8;
         return Made(CreateDIBitmap(g.source, &header, 0, nullptr, nullptr, DIB_RGB_COLORS));
     }},
    {"CreateFontIndirectW", kEvery, [](GdiMemory& g) { return Made(CreateFontIndirectW(&g.font)); }},
};

TEST(GdiOutOfMemory, CallsFailWithNotEnoughMemoryAndWorkAgainAfter)
{
    GdiMemory g;
    ASSERT_NE(g.bitmap, nullptr);
    ASSERT_NE(g.sourceBitmap, nullptr);
    for (const GdiCase& c : kGdiCases) {
        SCOPED_TRACE(c.name);
        bool worked = true, threw = false;
        DWORD error = 0;
        gRefuse = c.refusal;
        try {
            SetLastError(0);
            worked = c.call(g);
            error = GetLastError();
        } catch (...) {
            threw = true;
        }
        gRefuse = kNone;
        EXPECT_FALSE(threw) << "an exception left the call";
        EXPECT_FALSE(worked);
        EXPECT_EQ(error, DWORD(ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_TRUE(c.call(g)) << "with memory back";
    }
}

// A colour world made while memory runs out after 0, 1, 2, ... blocks: every attempt either makes
// the world or fails as the colour system's other failures do, and none throws.
TEST(ColourOutOfMemory, AWorldMadeWhileMemoryRunsOutFailsCleanlyAtEveryStep)
{
    CmmInstance* instance = ImxCmmInit();
    ASSERT_NE(instance, nullptr);
    const ImxDataSource profile{IMX_SOURCE_RESOURCE, RastrelModuleHandle(), "Profiles", 101};
    ImxImageFormat format{};
    format.colorBits = 24;
    format.planeCount = 1;
    format.planes[0].depth = 24;
    ImxStatus status = IMX_ERR_NO_MEMORY;
    long allowed = 0;
    for (; status != IMX_OK && allowed < 10000; ++allowed) {
        CmmWorld* world = nullptr;
        bool threw = false;
        gAllowance = allowed;
        gRefuse = kCounted;
        try {
            status = ImxCmmWorldCreate(instance, &profile, 0, 0, &format, &world);
        } catch (...) {
            threw = true;
        }
        gRefuse = kNone;
        ASSERT_FALSE(threw) << "an exception left ImxCmmWorldCreate after " << allowed << " blocks";
        EXPECT_EQ(world != nullptr, status == IMX_OK);
        ImxCmmWorldDestroy(world);
    }
    EXPECT_EQ(status, IMX_OK);
    EXPECT_GT(allowed, 1) << "the world needs blocks of its own";
    ImxCmmDeinit(instance);
}

}  // namespace
