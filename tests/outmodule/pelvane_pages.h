// What the multi-page job tests share: pages of rectangle commands and the job that carries them,
// the pages painted here, the fax job rendered through faxrender's host, split by faxview's reader
// and decoded by jbigkit, the grey judge, and the budgets and feeds every job is played at.
#pragma once

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
#include "tests/support/jbig_oracle.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/spool_builder.h"
#include "tests/support/spool_payloads.h"
#include "tools/faxrender/fax_host.h"
#include "tools/faxview/fax_job_parse.h"

constexpr LONG kWidth = 1728, kHeight = 2292;
constexpr uint32_t kBlack = 0x80000000, kWhite = 0x80FFFFFF;
constexpr uint32_t kScreen = 160;  // the period of Pelvane's screen for 1-bit fax pages

enum class Kind { Fill, Outline, Gray };

struct Op {
    Kind kind;
    RECT rect;
    uint32_t colour;  // the brush (fills, grey) or the pen's colour (outlines)
    std::vector<RECT> clip = {};  // clip rectangles; empty: no clip
};

using Page = std::vector<Op>;

// Three pages: fills covering one another, outlines, a fill clipped to two rectangles, and
// three greys in one band-crossing strip.
const std::vector<Page> kPages = {
    {{Kind::Fill, {100, 100, 1628, 180}, kBlack},
     {Kind::Fill, {100, 300, 900, 1100}, kBlack},
     {Kind::Fill, {300, 500, 700, 900}, kWhite},
     {Kind::Outline, {1000, 300, 1600, 1100}, kBlack},
     {Kind::Outline, {1100, 400, 1103, 1000}, kBlack},  // three columns: the outline is solid
     {Kind::Fill, {100, 1200, 1600, 1700}, kBlack, {{100, 1200, 400, 1450}, {700, 1300, 1650, 1500}}},
     {Kind::Fill, {1700, 10, 1728, 2292}, kBlack}},
    {{Kind::Gray, {160, 160, 560, 2160}, 0x80C0C0C0},
     {Kind::Gray, {640, 160, 1040, 2160}, 0x80808080},
     {Kind::Gray, {1120, 160, 1520, 2160}, 0x80404040},
     {Kind::Outline, {150, 150, 1530, 2170}, kBlack}},
    {{Kind::Fill, {0, 0, 1728, 40}, kBlack},
     {Kind::Fill, {861, 1000, 867, 2200}, kBlack},
     {Kind::Outline, {5, 1200, 1723, 1203}, kBlack},
     {Kind::Fill, {400, 1600, 1400, 2000}, kBlack, {{0, 1700, 1728, 1701}, {500, 1800, 510, 1900}}}},
};

inline SpoolFields Rect(RECT r) { return {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}}; }

inline std::vector<uint8_t> RectsBytes(const std::vector<RECT>& rects)
{
    std::vector<uint8_t> out;
    for (const RECT& r : rects)
        for (LONG v : {r.left, r.top, r.right, r.bottom})
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    return out;
}

inline std::vector<uint8_t> Job(const std::vector<Page>& pages, uint32_t copies, uint32_t jobFlags = 1)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"job_flags", jobFlags},
                                              {"copies", copies},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    for (const Page& page : pages) {
        b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
        uint32_t clipId = 0;
        for (const Op& op : page) {
            if (op.kind == Kind::Outline) {
                // No brush, a one-pixel pen of the colour: GDI's frame on the rectangle's edges.
                SpoolFields f = Rect(op.rect);
                f.insert(f.end(), {{"brush", 0}, {"pen", op.colour}, {"clip", 0}, {"mix", R2_COPYPEN}});
                b.Add("cmd_rect", f);
            } else if (!op.clip.empty()) {
                ++clipId;
                RECT bounds = op.clip[0];
                for (const RECT& r : op.clip) UnionRect(&bounds, &bounds, &r);
                b.Add("clip_rects", {{"id", clipId},
                                     {"left", bounds.left},
                                     {"top", bounds.top},
                                     {"right", bounds.right},
                                     {"bottom", bounds.bottom},
                                     {"count", op.clip.size()},
                                     {"data", RectsBytes(op.clip)}});
                SpoolFields f = Rect(op.rect);
                f.insert(f.end(), {{"brush", op.colour}, {"pen", 0}, {"clip", clipId}, {"mix", R2_COPYPEN}});
                b.Add("cmd_rect", f);
            } else {
                SpoolFields f = Rect(op.rect);
                f.push_back({"brush", op.colour});
                b.Add("cmd_rectfill", f);
            }
        }
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

// A page painted here: bit values, and which pixels are grey (judged apart).
struct Painted {
    JbigImage image;
    std::vector<uint8_t> grey;  // one byte a pixel: the index + 1 of the grey op that covers it, 0 none
};

constexpr size_t kStride = (kWidth + 7) / 8;

inline void Set(Painted& p, LONG x, LONG y, bool black)
{
    uint8_t& byte = p.image.rows[size_t(y) * kStride + size_t(x) / 8];
    const uint8_t bit = uint8_t(0x80 >> (x % 8));
    byte = black ? (byte | bit) : (byte & ~bit);
    p.grey[size_t(y) * kWidth + size_t(x)] = 0;
}

inline bool Inside(const std::vector<RECT>& rects, LONG x, LONG y)
{
    for (const RECT& r : rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

inline Painted Paint(const Page& page)
{
    Painted p;
    p.image.width = kWidth;
    p.image.height = kHeight;
    p.image.rows.assign(size_t(kHeight) * kStride, 0);
    p.grey.assign(size_t(kHeight) * kWidth, 0);
    for (size_t i = 0; i < page.size(); ++i) {
        const Op& op = page[i];
        const RECT& r = op.rect;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
                if (op.kind == Kind::Outline) {
                    if (x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1) Set(p, x, y, true);
                } else if (op.kind == Kind::Gray) {
                    Set(p, x, y, false);
                    p.grey[size_t(y) * kWidth + size_t(x)] = static_cast<uint8_t>(i + 1);
                } else if (op.clip.empty() || Inside(op.clip, x, y)) {
                    Set(p, x, y, op.colour == kBlack);
                }
            }
    }
    return p;
}

inline bool Bit(const JbigImage& image, LONG x, LONG y)
{
    return (image.rows[size_t(y) * ((image.width + 7) / 8) + size_t(x) / 8] >> (7 - x % 8)) & 1;
}

// Pixels that differ outside the grey areas.
inline size_t Differences(const JbigImage& got, const Painted& want)
{
    if (got.width != want.image.width || got.height != want.image.height) return SIZE_MAX;
    size_t count = 0;
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x)
            if (want.grey[size_t(y) * kWidth + size_t(x)] == 0 && Bit(got, x, y) != Bit(want.image, x, y)) ++count;
    return count;
}

struct GreyFinding {
    size_t black = 0;  // black dots
    size_t area = 0;
    size_t aperiodic = 0;  // pixels unlike the pixel one screen period to the right or below
};

inline std::vector<GreyFinding> GreyJudge(const JbigImage& got, const Page& page, const Painted& want)
{
    std::vector<GreyFinding> found(page.size());
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            const uint8_t g = want.grey[size_t(y) * kWidth + size_t(x)];
            if (g == 0) continue;
            GreyFinding& f = found[g - 1];
            ++f.area;
            f.black += Bit(got, x, y);
            const auto same = [&](LONG x2, LONG y2) {
                return x2 >= kWidth || y2 >= kHeight || want.grey[size_t(y2) * kWidth + size_t(x2)] != g ||
                       Bit(got, x2, y2) == Bit(got, x, y);
            };
            if (!same(x + kScreen, y) || !same(x, y + kScreen)) ++f.aperiodic;
        }
    return found;
}

struct Rendered {
    uint32_t result = ~0u;
    std::string cause;
    uint32_t jobs = 0;  // fax jobs in the file
    std::vector<JbigImage> pages;
};

inline Rendered Render(const std::vector<uint8_t>& spool, uint32_t bandMemory, FaxFeed feed,
                       bool progressRecord = false, uint32_t renderFlags = 0)
{
    Rendered out;
    std::vector<uint8_t> written;
    FaxRenderSettings settings;
    settings.moduleFileName = PELVANE_LIBRARY;
    settings.configuration = "pelvane";
    settings.options.bandMemory = bandMemory;
    settings.options.flags = renderFlags;
    settings.feed = feed;
    settings.progressRecord = progressRecord;
    settings.producerChunk = 1000;
    settings.sink = [&written](const uint8_t* bytes, uint32_t length) {
        written.insert(written.end(), bytes, bytes + length);
        return true;
    };
    out.result = FaxRender(spool, settings, &out.cause);
    // Each copy pass is a document of its own, and a fax job expecting one document ends with it:
    // the file holds one job per pass.
    std::vector<FaxJobPage> pages;
    for (size_t at = 0; at < written.size();) {
        FaxJob job;
        std::string error;
        const bool parsed = FaxJobParse(std::span<const uint8_t>(written).subspan(at), &job, &error);
        EXPECT_TRUE(parsed) << error;
        if (!parsed || job.size == 0) break;
        ++out.jobs;
        pages.insert(pages.end(), job.pages.begin(), job.pages.end());
        at += job.size;
    }
    for (const FaxJobPage& page : pages) {
        JbigImage image;
        EXPECT_TRUE(FaxPageDecode(page, &image));
        out.pages.push_back(std::move(image));
    }
    return out;
}

struct RunCase {
    const char* name;
    uint32_t bandMemory;  // 0: the engine's default
    FaxFeed feed;
    bool progressRecord;
};

inline const RunCase kRuns[] = {
    {"the smallest budget that holds an 8-line band", 45056, FaxFeed::Seekable, false},
    {"a few bands a page", 160 * 1024, FaxFeed::Seekable, false},
    {"one band a page", 16 * 1024 * 1024, FaxFeed::Seekable, false},
    {"the default budget, forward-only", 0, FaxFeed::ForwardOnly, false},
    {"a producer still writing, with the progress record", 64 * 1024, FaxFeed::Producer, true},
    {"a producer still writing, read as it comes", 0, FaxFeed::Producer, false},
};

// Four pages, page k black from its top down to 400 (k + 1): in a four-up cell, at about half
// scale, its black run down a column is about 200 (k + 1) rows long, which tells the pages apart.
inline std::vector<uint8_t> FourUpJob(uint32_t arrangement, uint32_t copies)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"job_flags", 1},
                                              {"copies", copies},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    for (LONG k = 0; k < 4; ++k) {
        b.PageBegin({{"width", kWidth},
                     {"height", kHeight},
                     {"paper_code", 9},
                     {"paper_name", "A4"},
                     {"cells", 4},
                     {"arrangement", arrangement}});
        b.Add("cmd_rectfill",
              {{"left", 0}, {"top", 0}, {"right", kWidth}, {"bottom", 400 * (k + 1)}, {"brush", kBlack}});
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

// The page drawn in each quarter of the sheet (top left, top right, bottom left, bottom right),
// -1 for a quarter with no page, -2 for one that is not a page's black run.
