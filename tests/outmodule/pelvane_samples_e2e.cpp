// The bundled sample jobs (samples/*_job.txt), compiled from their text and played through the
// engine and Pelvane as faxrender plays them, their pages decoded by jbigkit. Expectations are
// drawn from the job text itself by a painter of its own where that is cheap: black and white
// rectangle fills bit for bit, the letterhead form on every page, and a region of each kind of
// drawing that must carry ink. Every sample gives the same pages at two band budgets and fed
// forward-only or by a producer thread.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/jbig_oracle.h"
#include "tools/faxrender/fax_block.h"
#include "tools/faxrender/fax_host.h"
#include "tools/faxview/fax_job_parse.h"
#include "tools/spoolc/spool_text.h"

namespace {

constexpr int kWidth = 1728, kHeight = 2292;

std::string SampleText(const std::string& name)
{
    std::ifstream in(std::string(SAMPLES_DIR) + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Rendered {
    uint32_t result = ~0u;
    std::string cause;
    std::vector<JbigImage> pages;  // every side of every sheet, in order
    bool cancelled = false;  // the job ends with the cancel line
};

// during, when given, runs each time the module writes output, while the engine renders.
Rendered Render(const std::string& text, uint32_t bandMemory, FaxFeed feed = FaxFeed::Seekable,
                uint32_t memoryLimit = 0, const std::function<void()>& during = {})
{
    Rendered out;
    std::vector<uint8_t> spool = SpoolTextCompile(text);
    std::vector<uint8_t> block;
    std::string error;
    FaxBlockOptions options;
    options.numbers = {"+1 555 0100"};
    EXPECT_TRUE(FaxBlockBuild(options, &block, &error) && SpoolJobHeaderBlobSet(&spool, block, &error)) << error;
    std::vector<uint8_t> written;
    FaxRenderSettings settings;
    settings.moduleFileName = PELVANE_LIBRARY;
    settings.configuration = "pelvane";
    settings.options.bandMemory = bandMemory;
    settings.options.memoryLimit = memoryLimit;
    settings.feed = feed;
    settings.progressRecord = feed == FaxFeed::Producer;  // the engine waits on the producer's pages
    settings.sink = [&written, &during](const uint8_t* bytes, uint32_t length) {
        if (during) during();
        written.insert(written.end(), bytes, bytes + length);
        return true;
    };
    out.result = FaxRender(spool, settings, &out.cause);
    FaxJob job;
    if (!FaxJobParse(std::span<const uint8_t>(written), &job, &error)) {
        ADD_FAILURE() << error;
        return out;
    }
    out.cancelled = job.cancelled;
    for (const FaxJobPage& page : job.pages)
        for (const FaxJobImage& part : page.images) {
            JbigImage decoded;
            EXPECT_TRUE(JbigkitDecode(part.bie, decoded));
            out.pages.push_back(std::move(decoded));
        }
    return out;
}

bool Bit(const JbigImage& image, int x, int y)
{
    return (image.rows[size_t(y) * ((image.width + 7) / 8) + size_t(x) / 8] >> (7 - x % 8)) & 1;
}

double Ink(const JbigImage& image, int left, int top, int right, int bottom)
{
    size_t black = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) black += Bit(image, x, y);
    return double(black) / double(size_t(right - left) * size_t(bottom - top));
}

// The job text's fields of one line, by name.
std::map<std::string, std::string> Fields(const std::string& line)
{
    std::map<std::string, std::string> out;
    std::istringstream words(line);
    std::string word;
    words >> word;
    out["record"] = word;
    while (words >> word)
        if (auto eq = word.find('='); eq != std::string::npos) out[word.substr(0, eq)] = word.substr(eq + 1);
    return out;
}

int Number(const std::map<std::string, std::string>& fields, const char* name)
{
    auto found = fields.find(name);
    return found == fields.end() ? 0 : int(std::stoll(found->second, nullptr, 0));
}

// Where a page record puts the page's units on the sheet: device = page x scale + offset. A page
// scaled by a percentage (page flag 0x40) or fitted to a target size (0x80) is scaled about the
// printable area, the page less its margins less the job header's extent pair, and centred on it.
struct Placement {
    double scale = 1.0;
    double x = 0, y = 0;
};

Placement PagePlacement(const std::map<std::string, std::string>& page, int extentW, int extentH)
{
    Placement p;
    const int flags = Number(page, "page_flags");
    const double w =
        Number(page, "width") - Number(page, "margin_left") - Number(page, "margin_right") - std::abs(extentW);
    const double h =
        Number(page, "height") - Number(page, "margin_top") - Number(page, "margin_bottom") - std::abs(extentH);
    double sw = w, sh = h;
    if (flags & 0x40) {
        p.scale = Number(page, "scale") / 100.0;
        sw = std::floor(w * p.scale + 0.5), sh = std::floor(h * p.scale + 0.5);
    } else if (flags & 0x80) {
        const double tw = Number(page, "scale"), th = Number(page, "target_height");
        p.scale = std::min(w / tw, h / th);
        sw = std::floor(tw * p.scale + 0.5), sh = std::floor(th * p.scale + 0.5);
    }
    if ((flags & 0xC0) && !(flags & 0x2000)) {
        p.x = std::trunc((w - sw) / 2) + Number(page, "margin_left");
        p.y = std::trunc((h - sh) / 2) + Number(page, "margin_top");
    }
    return p;
}

// Pixels painted by the solid fills of the form (inForm) or of each page, in order: 1 black,
// 0 white, -1 not known (never filled, or last filled with a grey that the module halftones).
// Pages are placed as their records say. The painter reads the job text itself, without the
// spool tools.
using Painted = std::vector<int8_t>;

std::vector<Painted> PaintFills(const std::string& text, bool inForm)
{
    std::vector<Painted> out;
    std::istringstream lines(text);
    std::string line;
    bool form = false;
    int extentW = 0, extentH = 0;
    Placement place;
    while (std::getline(lines, line)) {
        const auto f = Fields(line);
        const std::string& record = f.at("record");
        if (record == "job_header") extentW = Number(f, "extent2_w"), extentH = Number(f, "extent2_h");
        const bool starts = (record == "form_begin" && inForm) || (record == "page_begin" && !inForm);
        if (starts) out.emplace_back(size_t(kWidth) * kHeight, int8_t(-1));
        if (record == "page_begin") place = inForm ? Placement{} : PagePlacement(f, extentW, extentH);
        if (record == "form_begin") form = true;
        if (record == "form_end") form = false;
        if (record != "cmd_rectfill" || form != inForm || out.empty()) continue;
        const uint32_t brush = uint32_t(std::stoul(f.at("brush"), nullptr, 0));
        const int8_t v = brush == 0x80000000u ? 1 : brush == 0x80FFFFFFu ? 0 : -1;
        auto at = [&place](int value, double offset) { return int(std::lround(value * place.scale + offset)); };
        const int top = at(Number(f, "top"), place.y), bottom = at(Number(f, "bottom"), place.y);
        const int left = at(Number(f, "left"), place.x), right = at(Number(f, "right"), place.x);
        for (int y = std::max(0, top); y < std::min(kHeight, bottom); ++y)
            for (int x = std::max(0, left); x < std::min(kWidth, right); ++x)
                out.back()[size_t(y) * kWidth + size_t(x)] = v;
    }
    return out;
}

// Painted pixels that the page does not have; white pixels only where the painter filled white.
size_t FillsMissed(const JbigImage& page, const Painted& painted, bool whiteToo)
{
    size_t missed = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int8_t v = painted[size_t(y) * kWidth + size_t(x)];
            if (v == 1 || (v == 0 && whiteToo)) missed += Bit(page, x, y) != (v == 1);
        }
    return missed;
}

struct Region {
    int page, left, top, right, bottom;
    double minInk, maxInk;
    const char* what;
};

struct Sample {
    const char* file;
    size_t sides;
    bool formAtFullSize;  // pages are not scaled or turned onto the sheet (but by their own records)
    bool onlyFills;  // the pages hold nothing but rectangle fills
    std::vector<Region> regions;
    // A difference between band budgets the engine is known to make here, or null. While it is
    // set the comparison is not made for this sample; clear it when the engine is mended.
    const char* bandFault = nullptr;
};

const Sample kSamples[] = {
    {"fax_job.txt", 2, true, true, {{0, 140, 560, 800, 1000, 0.15, 0.6, "grey panel"}}},
    {"sample_job.txt",
     3,
     true,
     false,
     {{0, 595, 330, 605, 610, 1.0, 1.0, "wide-pen frame, left side"},
      {0, 40, 740, 600, 1000, 0.005, 0.3, "fan of thin lines"},
      {0, 700, 752, 1580, 768, 0.01, 0.5, "dotted line"},
      {0, 300, 1300, 380, 1360, 0.15, 0.6, "grey star"},
      {0, 1040, 1560, 1640, 2060, 0.1, 0.7, "wide lines through the circle clip"},
      {2, 220, 90, 700, 150, 0.05, 0.6, "GDI title"},
      {2, 140, 810, 940, 858, 0.05, 0.6, "downloaded bitmap glyphs"},
      {2, 140, 1040, 1600, 1080, 0.0, 0.0, "the clipped text's hidden lower half"},
      {1, 1420, 270, 1564, 414, 0.2, 0.8, "1-bit CopyBits"}}},
    {"nup_job.txt",
     1,
     false,
     false,
     {{0, 0, 0, kWidth / 2, kHeight / 2, 0.01, 0.5, "first cell"},
      {0, kWidth / 2, kHeight / 2, kWidth, kHeight, 0.01, 0.5, "last cell"}}},
    // A page at 50 %: half size, centred; a page fitted to 3456 x 4000: scale 0.5, centred 146
    // rows down. Nothing lies outside the placed pages.
    {"placement_job.txt",
     2,
     true,
     true,
     {{0, 0, 0, 432, kHeight, 0.0, 0.0, "left of the half-size page"},
      {0, 0, 1719, kWidth, kHeight, 0.0, 0.0, "below the half-size page"},
      {0, 482, 623, 582, 723, 1.0, 1.0, "the half-size page's top left block"},
      {1, 0, 0, kWidth, 146, 0.0, 0.0, "above the fitted page"},
      {1, 0, 2146, kWidth, kHeight, 0.0, 0.0, "below the fitted page"},
      {1, 50, 196, 150, 296, 1.0, 1.0, "the fitted page's top left block"}}},
    {"booklet_job.txt",
     2,
     false,
     false,
     {{0, 0, 0, kWidth, kHeight / 2, 0.01, 0.5, "front, upper half"},
      {1, 0, kHeight / 2, kWidth, kHeight, 0.01, 0.5, "back, lower half"}}},
};

TEST(PelvaneSamples, EverySampleRendersItsFillsFormAndInkTheSameAtTwoBandBudgetsAndEveryFeed)
{
    ASSERT_TRUE(JbigkitAvailable());
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        const std::string text = SampleText(s.file);
        ASSERT_FALSE(text.empty());
        const Rendered whole = Render(text, 0);
        ASSERT_EQ(whole.result, 0u) << whole.cause;
        ASSERT_EQ(whole.pages.size(), s.sides);
        for (const JbigImage& page : whole.pages) {
            ASSERT_EQ(page.width, uint32_t(kWidth));
            ASSERT_EQ(page.height, uint32_t(kHeight));
        }
        if (s.formAtFullSize) {
            const auto forms = PaintFills(text, true);
            const auto pages = PaintFills(text, false);
            for (size_t p = 0; p < s.sides; ++p) {
                SCOPED_TRACE("page " + std::to_string(p + 1));
                if (!forms.empty()) {
                    // The form lies beneath the page: its black is black wherever the page leaves it.
                    EXPECT_EQ(FillsMissed(whole.pages[p], forms[0], false), 0u) << "the form";
                }
                if (s.onlyFills) {
                    EXPECT_EQ(FillsMissed(whole.pages[p], pages[p], true), 0u) << "the page's fills";
                }
            }
        }
        for (const Region& r : s.regions) {
            const double ink = Ink(whole.pages[size_t(r.page)], r.left, r.top, r.right, r.bottom);
            EXPECT_GE(ink, r.minInk) << r.what;
            EXPECT_LE(ink, r.maxInk) << r.what;
        }
        if (s.bandFault != nullptr) {
            std::printf("%s: band budgets not compared: %s\n", s.file, s.bandFault);
            continue;
        }
        // A budget that cuts every page into many bands (the booklet's turned sides need the most),
        // on a stream that cannot seek and on one a producer thread writes while the engine reads.
        struct Variant {
            const char* what;
            uint32_t bandMemory;
            FaxFeed feed;
        };
        for (const Variant& v : {Variant{"many bands", 160000, FaxFeed::Seekable},
                                 Variant{"forward-only, many bands", 160000, FaxFeed::ForwardOnly},
                                 Variant{"producer-fed", 0, FaxFeed::Producer}}) {
            SCOPED_TRACE(v.what);
            const Rendered banded = Render(text, v.bandMemory, v.feed);
            ASSERT_EQ(banded.result, 0u) << banded.cause;
            ASSERT_EQ(banded.pages.size(), whole.pages.size());
            for (size_t p = 0; p < whole.pages.size(); ++p) {
                int first = -1, last = -1, left = kWidth, right = -1;
                for (int y = 0; y < kHeight; ++y)
                    for (int x = 0; x < kWidth; ++x) {
                        if (Bit(whole.pages[p], x, y) == Bit(banded.pages[p], x, y)) continue;
                        if (first < 0) first = y;
                        last = y;
                        left = std::min(left, x);
                        right = std::max(right, x);
                    }
                EXPECT_EQ(first, -1) << "side " << p + 1 << " differs in rows " << first << " to " << last
                                     << ", columns " << left << " to " << right;
            }
        }
    }
}

// The 1-bit rings of the images page, copied 1:1 to (140, 270): bit for bit the rings' formula.
TEST(PelvaneSamples, TheImagesPageCopiesItsOneBitBitmapBitForBit)
{
    ASSERT_TRUE(JbigkitAvailable());
    const Rendered r = Render(SampleText("sample_job.txt"), 0);
    ASSERT_EQ(r.result, 0u) << r.cause;
    ASSERT_EQ(r.pages.size(), 3u);
    size_t wrong = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            const bool white = (int(std::hypot(x - 63.5, y - 63.5)) / 8) % 2 != 0;
            wrong += Bit(r.pages[1], 140 + x, 270 + y) == white;
        }
    EXPECT_EQ(wrong, 0u);
}

// The block pattern copied by CopyBits on the images page: 144 pixels square from (8, 16) of the
// bitmap (counted from its top) to (1420, 270), bit for bit the pattern's formula.
TEST(PelvaneSamples, TheImagesPageCopyBitsItsBlockPatternBitForBit)
{
    ASSERT_TRUE(JbigkitAvailable());
    const Rendered r = Render(SampleText("sample_job.txt"), 0);
    ASSERT_EQ(r.result, 0u) << r.cause;
    ASSERT_EQ(r.pages.size(), 3u);
    auto black = [](int x, int y) {
        const int cx = x / 8, cy = y / 8;
        return (cx * cx * 3 + cy * 5 + cx * cy) % 7 < 3;
    };
    size_t wrong = 0;
    for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 144; ++x) wrong += Bit(r.pages[1], 1420 + x, 270 + y) != black(8 + x, 16 + y);
    EXPECT_EQ(wrong, 0u);
    // Nothing beyond the copied square: the source point does not widen the copy.
    EXPECT_EQ(Ink(r.pages[1], 1564, 270, 1620, 414), 0.0);
    EXPECT_EQ(Ink(r.pages[1], 1420, 414, 1564, 440), 0.0);
}

// The baseline of the n-th text command after the downloaded TrueType font's tables.
int TrueTypeLineBaseline(const std::string& text, int n)
{
    std::istringstream lines(text);
    std::string line;
    bool seen = false;
    while (std::getline(lines, line)) {
        const auto f = Fields(line);
        if (f.at("record") == "glyph_table") seen = true;
        if (!seen || f.at("record") != "cmd_text" || n-- > 0) continue;
        const std::string& data = f.at("data");
        uint32_t y = 0;
        for (int i = 3; i >= 0; --i) y = y << 8 | uint32_t(std::stoul(data.substr(8 + 2 * size_t(i), 2), nullptr, 16));
        return int(int32_t(y));
    }
    return -1;
}

// Rows [top, top + height) of the text page against the same rows `step` lower: the pixels that
// differ.
size_t LinesDiffer(const JbigImage& page, int top, int height, int step)
{
    size_t differ = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = 0; x < kWidth; ++x) differ += Bit(page, x, y) != Bit(page, x, y + step);
    return differ;
}

// The text page's downloaded TrueType line (the installed face's tables and outlines cut down to
// the line's glyphs, built into a font in memory by the renderer) draws bit for bit as the same
// line in the installed face drawn below it; with two of its glyphs' outlines exchanged in the job
// it no longer does, so the line is drawn from the download and not from a face found on the system.
TEST(PelvaneSamples, TheDownloadedTrueTypeLineDrawsAsTheInstalledFace)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::string text = SampleText("sample_job.txt");
    const int downloaded = TrueTypeLineBaseline(text, 0), installed = TrueTypeLineBaseline(text, 1);
    ASSERT_GT(downloaded, 0);
    ASSERT_GT(installed, downloaded + 56);
    const int top = downloaded - 48, height = 60, step = installed - downloaded;
    const Rendered r = Render(text, 0);
    ASSERT_EQ(r.result, 0u) << r.cause;
    ASSERT_EQ(r.pages.size(), 3u);
    EXPECT_GT(Ink(r.pages[2], 140, top, 1600, top + height), 0.02) << "the downloaded line is inked";
    EXPECT_EQ(LinesDiffer(r.pages[2], top, height, step), 0u);

    // The outlines of glyphs 1 and 2 exchanged: their characters change places in the line.
    std::istringstream lines(text);
    std::string line, swapped, first, second;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    auto data = [](const std::string& l) { return l.substr(l.find("data=")); };
    size_t a = 0, b = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].rfind("font_data sequence=1 ", 0) == 0) a = i;
        if (all[i].rfind("font_data sequence=2 ", 0) == 0) b = i;
    }
    ASSERT_TRUE(a != 0 && b != 0);
    const std::string da = data(all[a]), db = data(all[b]);
    all[a] = all[a].substr(0, all[a].find("data=")) + db;
    all[b] = all[b].substr(0, all[b].find("data=")) + da;
    for (const std::string& l : all) swapped += l + "\n";
    const Rendered changed = Render(swapped, 0);
    ASSERT_EQ(changed.result, 0u) << changed.cause;
    ASSERT_EQ(changed.pages.size(), 3u);
    EXPECT_GT(LinesDiffer(changed.pages[2], top, height, step), 100u);
}

// A fresh temporary folder named by $TMPDIR for the test's life, watched for any file made in it.
class WatchedTempFolder {
public:
    WatchedTempFolder()
    {
        char pattern[] = "/tmp/fontmem-XXXXXX";
        folder_ = mkdtemp(pattern) ? pattern : "";
        if (const char* old = std::getenv("TMPDIR")) saved_ = old, hadSaved_ = true;
        setenv("TMPDIR", folder_.c_str(), 1);
        watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch_ >= 0) inotify_add_watch(watch_, folder_.c_str(), IN_CREATE | IN_MOVED_TO | IN_MODIFY);
    }
    ~WatchedTempFolder()
    {
        if (hadSaved_) setenv("TMPDIR", saved_.c_str(), 1);
        else unsetenv("TMPDIR");
        if (watch_ >= 0) close(watch_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    bool Ready() const { return !folder_.empty() && watch_ >= 0; }
    bool Empty() const { return std::filesystem::is_empty(folder_); }
    // Files made in the folder since the watch began, even those already gone.
    int Made() const
    {
        alignas(inotify_event) char buffer[4096];
        int made = 0;
        for (ssize_t n; (n = read(watch_, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + n;
                 at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len)
                ++made;
        return made;
    }

private:
    std::string folder_, saved_;
    bool hadSaved_ = false;
    int watch_ = -1;
};

// The downloaded TrueType font is built and installed in memory: rendering the sample job writes
// nothing to the temporary folder, not even for a moment, so a renderer that dies leaves nothing
// there.
TEST(PelvaneSamples, TheDownloadedTrueTypeFontLeavesTheTemporaryFolderAlone)
{
    ASSERT_TRUE(JbigkitAvailable());
    WatchedTempFolder temp;
    ASSERT_TRUE(temp.Ready());
    int looks = 0, nonEmpty = 0;
    const Rendered r = Render(SampleText("sample_job.txt"), 0, FaxFeed::Seekable, 0, [&] {
        ++looks;
        nonEmpty += !temp.Empty();
    });
    ASSERT_EQ(r.result, 0u) << r.cause;
    ASSERT_EQ(r.pages.size(), 3u);
    EXPECT_GT(looks, 0);
    EXPECT_EQ(nonEmpty, 0) << "seen from inside the render";
    EXPECT_TRUE(temp.Empty());
    EXPECT_EQ(temp.Made(), 0);
}

// One page of the sample: the downloaded TrueType font and its line, or (without the font) the same
// line in an installed face.
std::string DownloadedLineJob(bool downloaded)
{
    std::istringstream lines(SampleText("sample_job.txt"));
    std::string line, job;
    bool inFont = false;
    while (std::getline(lines, line)) {
        const std::string record = line.substr(0, line.find(' '));
        if (record == "signature" || record == "stream_version" || record == "job_header" || record == "job_end") {
            job += line + "\n";
        } else if (record == "page_end" && job.find("page_begin") != std::string::npos &&
                   job.find("page_end") == std::string::npos) {
            job += line + "\n";
        } else if (record == "glyph_table") {
            inFont = true;
            job += "page_begin width=1728 height=2292 paper_code=9 paper_name=\"A4\"\n";
        }
        if (!inFont) continue;
        if (record == "cmd_text") {
            job += downloaded
                       ? line + "\n"
                       : "font_log id=71 height=-44 weight=400 italic=0 face=\"Liberation Sans\"\n" + line + "\n";
            inFont = false;
        } else if (downloaded) {
            job += line + "\n";
        }
    }
    return job;
}

// A page whose downloaded TrueType font cannot be built within the budget's memory fails the job
// with lack of memory, as a page whose commands pass the budget does; the same page drawn in an
// installed face fits, and with an ample budget the downloaded line is drawn.
TEST(PelvaneSamples, ADownloadedTrueTypeFontPastTheBudgetFailsTheJobWithLackOfMemory)
{
    ASSERT_TRUE(JbigkitAvailable());
    const struct {
        bool downloaded;
        uint32_t memoryLimit, result;
    } cases[] = {{true, 4096, 8}, {false, 4096, 0}, {true, 0, 0}};
    for (const auto& c : cases) {
        const Rendered r = Render(DownloadedLineJob(c.downloaded), 0, FaxFeed::Seekable, c.memoryLimit);
        EXPECT_EQ(r.result, c.result) << c.downloaded << " " << c.memoryLimit << ": " << r.cause;
        EXPECT_EQ(r.cancelled, c.result != 0) << c.downloaded << " " << c.memoryLimit;
        if (c.result == 0) {
            ASSERT_EQ(r.pages.size(), 1u);
            EXPECT_GT(Ink(r.pages[0], 140, 1200, 1600, 1300), 0.0);
        }
    }
}

}  // namespace
