// A spool stream rendered through the engine and Pelvane as faxrender renders it, the fax job
// split by faxview's reader and every side decoded by jbigkit; and the comparisons the end-to-end
// pages make of the sides.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/jbig_oracle.h"
#include "tools/faxrender/fax_block.h"
#include "tools/faxrender/fax_host.h"
#include "tools/faxview/fax_job_parse.h"
#include "tools/spoolc/spool_text.h"

// A spool text compiled, with the fax block faxrender puts into its job header (empty on failure).
inline std::vector<uint8_t> SpoolFromText(const std::string& text)
{
    std::vector<uint8_t> spool = SpoolTextCompile(text);
    std::vector<uint8_t> block;
    std::string error;
    FaxBlockOptions options;
    options.numbers = {"+1 555 0100"};
    if (!FaxBlockBuild(options, &block, &error) || !SpoolJobHeaderBlobSet(&spool, block, &error)) return {};
    return spool;
}

struct RenderedSides {
    uint32_t result = ~0u;
    std::string cause;
    std::vector<JbigImage> sides;
};

// A side may come in several images; they are joined until the side is sideHeight rows long.
inline RenderedSides RenderSides(const std::vector<uint8_t>& spool, uint32_t bandMemory, FaxFeed feed,
                                 uint32_t sideHeight)
{
    RenderedSides out;
    std::vector<uint8_t> written;
    FaxRenderSettings settings;
    settings.moduleFileName = PELVANE_LIBRARY;
    settings.configuration = "pelvane";
    settings.options.bandMemory = bandMemory;
    settings.feed = feed;
    settings.progressRecord = feed == FaxFeed::Producer;
    settings.producerChunk = 1000;
    settings.sink = [&written](const uint8_t* bytes, uint32_t length) {
        written.insert(written.end(), bytes, bytes + length);
        return true;
    };
    out.result = FaxRender(spool, settings, &out.cause);
    if (out.result != 0) return out;
    std::vector<FaxJobPage> pages;
    for (size_t at = 0; at < written.size();) {
        FaxJob job;
        std::string error;
        if (!FaxJobParse(std::span<const uint8_t>(written).subspan(at), &job, &error) || job.size == 0) {
            out.result = ~0u;
            out.cause = "the fax job does not parse: " + error;
            return out;
        }
        pages.insert(pages.end(), job.pages.begin(), job.pages.end());
        at += job.size;
    }
    JbigImage side;
    for (const FaxJobPage& page : pages)
        for (const FaxJobImage& part : page.images) {
            JbigImage decoded;
            if (!JbigkitDecode(part.bie, decoded)) {
                out.result = ~0u;
                out.cause = "jbigkit cannot decode an image";
                return out;
            }
            if (side.width == 0) side.width = decoded.width;
            side.height += decoded.height;
            side.rows.insert(side.rows.end(), decoded.rows.begin(), decoded.rows.end());
            if (side.height >= sideHeight) out.sides.push_back(std::exchange(side, JbigImage{}));
        }
    if (side.height != 0) out.sides.push_back(std::move(side));
    return out;
}

inline bool SidePixel(const JbigImage& side, uint32_t x, uint32_t y)
{
    return (side.rows[size_t(y) * ((side.width + 7) / 8) + x / 8] >> (7 - x % 8)) & 1;
}

// Where two sides differ, for the message: how many pixels and the first differing one.
inline std::string SideDifference(const JbigImage& a, const JbigImage& b)
{
    if (a.width != b.width || a.height != b.height) return "sizes differ";
    size_t count = 0;
    std::string first;
    for (uint32_t y = 0; y < a.height; ++y)
        for (uint32_t x = 0; x < a.width; ++x)
            if (SidePixel(a, x, y) != SidePixel(b, x, y) && count++ == 0)
                first = "row " + std::to_string(y) + ", column " + std::to_string(x);
    return count == 0 ? "" : std::to_string(count) + " pixels differ, the first at " + first;
}

// Black pixels inside [left, right) x [top, bottom) of a side.
inline size_t SideInk(const JbigImage& side, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom)
{
    size_t n = 0;
    for (uint32_t y = top; y < bottom && y < side.height; ++y)
        for (uint32_t x = left; x < right && x < side.width; ++x) n += SidePixel(side, x, y);
    return n;
}

inline size_t SideInk(const JbigImage& side) { return SideInk(side, 0, 0, side.width, side.height); }

// The smallest rectangle holding every black pixel (empty when there is none).
struct SideBox {
    uint32_t left = ~0u, top = ~0u, right = 0, bottom = 0;
};
inline SideBox SideInkBox(const JbigImage& side)
{
    SideBox box;
    for (uint32_t y = 0; y < side.height; ++y)
        for (uint32_t x = 0; x < side.width; ++x)
            if (SidePixel(side, x, y)) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box;
}
