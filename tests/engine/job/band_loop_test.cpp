// The band loops through the render call with the recording module: what a side sends for blank
// pages and for drawing, under band skipping and without ImageBlank; the device rectangle's
// alignment.
#include <gtest/gtest.h>

#include "engine/common/output_module.h"
#include "engine/page/page_rect.h"
#include "tests/engine/job/render_fixture.h"

namespace {

constexpr uint32_t kWidth = 1728, kHeight = 2200;

void DeviceScript(RenderRun& run, uint32_t caps, uint32_t emptySlots)
{
    ImoMediaInfo media{};
    media.mediaFlags = IMO_MEDIA_GRAY_FORMAT_VALID;
    media.xResolution = media.yResolution = 200;
    media.outputFormat.formatId = OCM_COLOR_GRAY1;
    media.outputFormat.colorBits = 1;
    media.outputFormat.planeCount = 1;
    media.outputFormat.planes[0].depth = 1;
    for (uint32_t id : {DEVICE_QUERY_MEDIA, DEVICE_QUERY_MEDIA_PLACED}) {
        run.Answer(id, media);
        run.script->answers[id].mode = FAKE_ANSWER_MEDIA;
    }
    run.Answer(DEVICE_QUERY_CAPS, caps);
    // The built-in halftoning and colour conversion make the textures.
    run.script->emptySlots = emptySlots | (1u << IMO_SLOT_SHEET_BLANK) | (1u << IMO_SLOT_HALFTONE_COLOR) |
                             (1u << IMO_SLOT_COLOR_CONVERT_PIXEL);
    run.options.bandMemory = 256 * 1024;
}

// One page; with a fill over its top 100 rows when drawn.
std::vector<uint8_t> OnePageJob(bool drawn)
{
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1}, {"res_x", 200}, {"res_y", 200}});
    b.PageBegin({{"width", kWidth}, {"height", kHeight}});
    if (drawn) b.Add("cmd_rectfill", {{"left", 0}, {"top", 0}, {"right", 500}, {"bottom", 100}, {"brush", 0x80000000}});
    b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}});
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

struct Sent {
    std::string slots;  // image slots in order: B (blank), I, A (band), E
    uint32_t bands = 0;
    uint32_t lowestBandEnd = 0;  // bottom of the lowest band sent
};

Sent Image(const RenderRun& run)
{
    Sent s;
    for (uint32_t i = 0; i < run.script->callCount; ++i) {
        const FakeCall& c = run.script->calls[i];
        switch (c.slot) {
            case IMO_SLOT_IMAGE_BLANK: s.slots += 'B'; break;
            case IMO_SLOT_IMAGE_BEGIN: s.slots += 'I'; break;
            case IMO_SLOT_IMAGE_END: s.slots += 'E'; break;
            case IMO_SLOT_BAND_ADD:
                if (s.slots.empty() || s.slots.back() != 'A') s.slots += 'A';
                ++s.bands;
                s.lowestBandEnd = std::max(s.lowestBandEnd, c.args[0] + c.args[1]);
                break;
            default: break;
        }
    }
    return s;
}

TEST(BandLoop, WhatASideSendsByDrawingImageBlankAndBandSkipping)
{
    constexpr uint32_t kNoBlank = 1u << IMO_SLOT_IMAGE_BLANK;
    struct Case {
        const char* name;
        bool drawn;
        uint32_t caps;
        uint32_t emptySlots;
        const char* slots;
        bool allBands;  // every band position of the page is sent
    } cases[] = {
        {"blank page, ImageBlank", false, 0, 0, "B", false},
        {"blank page, no ImageBlank", false, 0, kNoBlank, "IAE", true},
        {"blank page, no ImageBlank, band skip", false, IMO_CAPS_BAND_SKIP, kNoBlank, "IE", false},
        {"blank page, no ImageBlank, trim band", false, IMO_CAPS_TRIM_BAND, kNoBlank, "IE", false},
        {"drawn page", true, 0, 0, "IAE", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RenderRun run(OnePageJob(c.drawn));
        DeviceScript(run, c.caps, c.emptySlots);
        ASSERT_EQ(run.Run(), 0u);
        const Sent sent = Image(run);
        EXPECT_EQ(sent.slots, c.slots);
        if (c.allBands) {
            EXPECT_GT(sent.bands, 1u);
            EXPECT_EQ(sent.lowestBandEnd, kHeight);
        }
    }
}

TEST(PageRect, AlignmentRoundsTheDeviceRectangleOutToTheDevicesSteps)
{
    OutputModuleContext context{};
    context.caps = IMO_CAPS_TRIM_ALIGN;
    const uint32_t page[2] = {200, 100};
    RECT rect{45, 10, 100, 20};
    PageRectAlign(&context, page, 0, 0, &rect);  // no answer: steps of 1, nothing moves
    EXPECT_EQ(rect.left, 45);
    EXPECT_EQ(rect.right, 100);

    // The steps the device gives through DeviceQuery id 8 are taken on the turned rectangle.
    static uint32_t steps[4];
    context.slots.DeviceQuery = [](ImoInstance, uint32_t id, uint32_t, const void*, uint32_t* size,
                                   void* out) -> ImxStatus {
        if (id != 8) return -2;
        std::memcpy(out, steps, sizeof steps);
        *size = sizeof steps;
        return IMX_OK;
    };
    const uint32_t all32[4] = {32, 32, 32, 32};
    std::memcpy(steps, all32, sizeof steps);
    rect = RECT{45, 10, 100, 20};
    PageRectAlign(&context, page, 0, 0, &rect);
    EXPECT_EQ(rect.left, 32);
    EXPECT_EQ(rect.right, 128);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.bottom, 32);

    // Mirrored: the device rectangle is 100..155, aligned 96..160, back on the page 40..104.
    rect = RECT{45, 10, 100, 20};
    PageRectAlign(&context, page, 0, 1, &rect);
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.right, 104);
}

TEST(PageRect, TrimMovesOnlyTheEdgesTheDeviceNamesByOrientation)
{
    OutputModuleContext context{};
    const RECT content{10, 20, 30, 40};
    struct Case {
        uint32_t caps, orientation, mirror;
        RECT expected;
    } cases[] = {
        {0, 0, 0, {0, 0, 100, 100}},
        {IMO_CAPS_TRIM_LEFT, 0, 0, {10, 0, 100, 100}},
        {IMO_CAPS_TRIM_LEFT, 0, 1, {0, 0, 30, 100}},
        {IMO_CAPS_TRIM_TOP | IMO_CAPS_TRIM_BOTTOM, 1, 0, {0, 20, 100, 40}},
        {IMO_CAPS_TRIM_LEFT, 2, 0, {0, 20, 100, 100}},
        {IMO_CAPS_TRIM_TOP, 3, 0, {10, 0, 100, 100}},
    };
    for (const Case& c : cases) {
        context.caps = c.caps;
        RECT page{0, 0, 100, 100};
        PageRectTrim(&context, c.orientation, c.mirror, &content, &page);
        EXPECT_EQ(page.left, c.expected.left) << c.caps << " " << c.orientation << " " << c.mirror;
        EXPECT_EQ(page.top, c.expected.top);
        EXPECT_EQ(page.right, c.expected.right);
        EXPECT_EQ(page.bottom, c.expected.bottom);
    }
}

}  // namespace
