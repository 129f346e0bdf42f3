// The device questions against an in-process module slot: capability derivation, the page
// questions, the mask pattern and its refusals, media, scale and area answers, the extent
// adjustment and page placement.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/job/device_queries.h"

namespace {

// The slot answers through whatever the test puts here.
std::function<ImxStatus(uint32_t id, uint32_t inSize, const void* in, uint32_t* outSize, void* out)> gAnswer;
std::vector<uint32_t> gAsked;

ImxStatus TestQuery(ImoInstance, uint32_t id, uint32_t inSize, const void* in, uint32_t* outSize, void* out)
{
    gAsked.push_back(id);
    return gAnswer ? gAnswer(id, inSize, in, outSize, out) : IMX_ERR_QUERY_UNKNOWN;
}

template <typename T>
ImxStatus Give(const T& value, uint32_t* outSize, void* out)
{
    if (*outSize < sizeof(T)) {
        *outSize = sizeof(T);
        return IMX_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(out, &value, sizeof(T));
    *outSize = sizeof(T);
    return IMX_OK;
}

ImxStatus GiveBytes(const std::vector<uint8_t>& bytes, uint32_t* outSize, void* out)
{
    if (*outSize < bytes.size()) {
        *outSize = static_cast<uint32_t>(bytes.size());
        return IMX_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(out, bytes.data(), bytes.size());
    *outSize = static_cast<uint32_t>(bytes.size());
    return IMX_OK;
}

class DeviceQueries : public ::testing::Test {
protected:
    OutputModuleContext context{};
    void SetUp() override
    {
        ASSERT_EQ(OutputModuleLoad(&context, nullptr, nullptr, nullptr, nullptr, nullptr), 0u);
        context.slots.DeviceQuery = TestQuery;
        gAnswer = nullptr;
        gAsked.clear();
    }
    void TearDown() override
    {
        OutputModuleUnload(&context);
        gAnswer = nullptr;
    }
    void AnswerOnly(uint32_t only, std::function<ImxStatus(uint32_t*, void*)> give)
    {
        gAnswer = [only, give](uint32_t id, uint32_t, const void*, uint32_t* outSize, void* out) {
            return id == only ? give(outSize, out) : IMX_ERR_QUERY_UNKNOWN;
        };
    }
};

std::vector<uint8_t> MaskAnswer(uint32_t kind, int32_t width, int32_t height, int32_t stride, size_t rowBytes)
{
    std::vector<uint8_t> bytes(16 + rowBytes);
    const int32_t head[4] = {static_cast<int32_t>(kind), width, height, stride};
    std::memcpy(bytes.data(), head, sizeof(head));
    for (size_t i = 0; i < rowBytes; ++i) bytes[16 + i] = static_cast<uint8_t>(i * 7 + 1);
    return bytes;
}

TEST_F(DeviceQueries, DerivesCapabilities)
{
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0x0, 0x0},       {0x1, 0x1A1},     {0x80, 0x180}, {0x8, 0x48},      {0x3C00, 0x3D00},
        {0x3C01, 0x3DA1}, {0x3D00, 0x3D80}, {0x81, 0x1A1}, {0x1C00, 0x1C00},
    };
    for (const auto& [given, derived] : cases) {
        SCOPED_TRACE(given);
        AnswerOnly(DEVICE_QUERY_CAPS, [given = given](uint32_t* size, void* out) { return Give(given, size, out); });
        EXPECT_EQ(DeviceFlagsQuery(&context), 0);
        EXPECT_EQ(context.caps, derived);
    }
    context.caps = 0x77;
    AnswerOnly(DEVICE_QUERY_CAPS, [](uint32_t*, void*) { return -9; });
    EXPECT_EQ(DeviceFlagsQuery(&context), -9);
    EXPECT_EQ(context.caps, 0x77u);
    context.slots.DeviceQuery = nullptr;
    EXPECT_EQ(DeviceFlagsQuery(&context), 0);
    EXPECT_EQ(context.caps, 0u);
}

TEST_F(DeviceQueries, PageQuestionsTakeDefaultsAndCapTheOverstrike)
{
    EXPECT_TRUE(DevicePageQuery(&context));
    EXPECT_EQ(context.overstrike, 25u);
    EXPECT_EQ(context.options, 0u);
    EXPECT_EQ(context.planeLimit, 0u);
    EXPECT_EQ(context.maskKind, MASK_KIND_PATTERN);
    ASSERT_NE(context.maskPattern, nullptr);
    EXPECT_EQ(context.maskPattern->width, 32);
    EXPECT_EQ(context.maskPattern->height, 32);
    EXPECT_EQ(context.maskPattern->stride, 4);
    const uint8_t* rows = MaskPatternRows(context.maskPattern);
    EXPECT_EQ(rows[0], 0xAA);
    EXPECT_EQ(rows[4], 0x55);
    EXPECT_EQ(rows[31 * 4 + 3], 0x55);
    const std::vector<uint32_t> plain = {1, 4, 2, 12, 3};
    EXPECT_EQ(gAsked, plain);

    AnswerOnly(DEVICE_QUERY_OVERSTRIKE, [](uint32_t* size, void* out) { return Give(uint32_t{5000}, size, out); });
    EXPECT_TRUE(DevicePageQuery(&context));
    EXPECT_EQ(context.overstrike, 2000u);

    // A failed question fails the call, but the others are still asked.
    gAsked.clear();
    gAnswer = [](uint32_t id, uint32_t, const void*, uint32_t* size, void* out) -> ImxStatus {
        if (id == DEVICE_QUERY_CAPS) return Give(uint32_t{IMO_CAPS_MANUAL_DUPLEX}, size, out);
        if (id == DEVICE_QUERY_OPTIONS) return -1;
        if (id == DEVICE_QUERY_DUPLEX_VALUE) return Give(uint64_t{0x1122334455667788}, size, out);
        return IMX_ERR_QUERY_UNKNOWN;
    };
    EXPECT_FALSE(DevicePageQuery(&context));
    const std::vector<uint32_t> asked = {1, 6, 4, 2, 12, 3};
    EXPECT_EQ(gAsked, asked);
    EXPECT_EQ(context.duplexValue, 0x1122334455667788u);
}

TEST_F(DeviceQueries, MaskPatternIsAskedAgainWithTheSizeGivenBack)
{
    const std::vector<uint8_t> big = MaskAnswer(0, 64, 100, 8, 800);  // 816 bytes: fits 4112
    const std::vector<uint8_t> huge = MaskAnswer(0, 256, 200, 32, 6400);  // 6416 bytes: needs a retry
    std::vector<uint32_t> offered;
    gAnswer = [&](uint32_t id, uint32_t, const void*, uint32_t* size, void* out) -> ImxStatus {
        if (id != DEVICE_QUERY_MASK_PATTERN) return IMX_ERR_QUERY_UNKNOWN;
        offered.push_back(*size);
        return GiveBytes(huge, size, out);
    };
    EXPECT_TRUE(DevicePageQuery(&context));
    const std::vector<uint32_t> sizes = {DEVICE_MASK_BUFFER_BYTES, 6416};
    EXPECT_EQ(offered, sizes);
    ASSERT_NE(context.maskPattern, nullptr);
    EXPECT_EQ(context.maskPattern->width, 256);
    EXPECT_EQ(std::memcmp(MaskPatternRows(context.maskPattern), huge.data() + 16, 6400), 0);

    AnswerOnly(DEVICE_QUERY_MASK_PATTERN, [&](uint32_t* size, void* out) { return GiveBytes(big, size, out); });
    EXPECT_TRUE(DevicePageQuery(&context));
    EXPECT_EQ(context.maskPattern->width, 64);
    EXPECT_EQ(context.maskPattern->stride, 8);

    // Kind 1 needs no pattern; other kinds fail the call.
    AnswerOnly(DEVICE_QUERY_MASK_PATTERN, [](uint32_t* size, void* out) { return Give(uint32_t{1}, size, out); });
    EXPECT_TRUE(DevicePageQuery(&context));
    EXPECT_EQ(context.maskKind, MASK_KIND_NONE);
    EXPECT_EQ(context.maskPattern, nullptr);
    AnswerOnly(DEVICE_QUERY_MASK_PATTERN, [](uint32_t* size, void* out) { return Give(uint32_t{5}, size, out); });
    EXPECT_FALSE(DevicePageQuery(&context));

    // A module that keeps asking for more is asked twice and no more.
    offered.clear();
    gAnswer = [&](uint32_t id, uint32_t, const void*, uint32_t* size, void*) -> ImxStatus {
        if (id != DEVICE_QUERY_MASK_PATTERN) return IMX_ERR_QUERY_UNKNOWN;
        offered.push_back(*size);
        *size = 0x7FFFFFFF;
        return IMX_ERR_BUFFER_TOO_SMALL;
    };
    EXPECT_FALSE(DevicePageQuery(&context));
    const std::vector<uint32_t> capped = {DEVICE_MASK_BUFFER_BYTES, DEVICE_ANSWER_MAX_BYTES};
    EXPECT_EQ(offered, capped);
}

TEST_F(DeviceQueries, RefusedMaskPatternsFallBackToTheBuiltInOne)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> answer;
    };
    const Case cases[] = {
        {"width 0", MaskAnswer(0, 0, 4, 4, 16)},
        {"height 0", MaskAnswer(0, 8, 0, 4, 0)},
        {"stride 0", MaskAnswer(0, 8, 4, 0, 16)},
        {"negative height", MaskAnswer(0, 8, -4, 4, 16)},
        {"stride not a multiple of 4", MaskAnswer(0, 8, 4, 6, 24)},
        {"stride short of the width", MaskAnswer(0, 64, 4, 4, 16)},
        {"rows beyond the answer", MaskAnswer(0, 32, 8, 4, 28)},
        {"rows far beyond the answer", MaskAnswer(0, 32, 0x40000000, 4, 16)},
        {"answer shorter than the head", std::vector<uint8_t>(8, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnswerOnly(DEVICE_QUERY_MASK_PATTERN,
                   [&](uint32_t* size, void* out) { return GiveBytes(c.answer, size, out); });
        EXPECT_TRUE(DevicePageQuery(&context));
        ASSERT_NE(context.maskPattern, nullptr);
        EXPECT_EQ(context.maskKind, MASK_KIND_PATTERN);
        EXPECT_EQ(context.maskPattern->width, 32);
        EXPECT_EQ(context.maskPattern->height, 32);
        EXPECT_EQ(context.maskPattern->stride, 4);
    }
    // The smallest acceptable pattern: one row, a stride of 4 covering 32 pixels.
    AnswerOnly(DEVICE_QUERY_MASK_PATTERN,
               [](uint32_t* size, void* out) { return GiveBytes(MaskAnswer(0, 32, 1, 4, 4), size, out); });
    EXPECT_TRUE(DevicePageQuery(&context));
    EXPECT_EQ(context.maskPattern->height, 1);
}

TEST_F(DeviceQueries, BuiltInAnswers)
{
    uint32_t word = 0, size = 4;
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_BRUSH_DPI, 0, nullptr, &size, &word), 0);
    EXPECT_EQ(word, 300u);
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_THIN_LINE, 0, nullptr, &size, &word), 0);
    EXPECT_EQ(word, 2u);
    const int32_t pair[2] = {600, 301};
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_PEN_DPI, 8, pair, &size, &word), 0);
    EXPECT_EQ(word, 150u);
    int32_t four[4] = {};
    size = 16;
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_SCALE, 24, nullptr, &size, four), 0);
    EXPECT_EQ(four[3], 1);
    EXPECT_EQ(DeviceQueryDefault(15, 0, nullptr, &size, four), IMX_ERR_QUERY_UNKNOWN);
    EXPECT_EQ(DeviceQueryDefault(0, 0, nullptr, &size, four), IMX_ERR_QUERY_UNKNOWN);
    EXPECT_EQ(DeviceQueryDefault(16, 0, nullptr, &size, four), IMX_ERR_QUERY_UNKNOWN);

    uint8_t mask[144];
    size = 143;
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_MASK_PATTERN, 0, nullptr, &size, mask), IMX_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 144u);

    ImoMediaRequest request{};
    request.paperCode = 9;
    request.xResolution = 200;
    request.yResolution = 100;
    ImoMediaInfo info;
    size = sizeof(info) - 1;
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_MEDIA, sizeof(request), &request, &size, &info),
              IMX_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 368u);
    size = sizeof(info);
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_MEDIA, 55, &request, &size, &info), IMX_ERR_ARGUMENT);
    EXPECT_EQ(size, 368u);
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_MEDIA, sizeof(request), &request, &size, &info), 0);
    EXPECT_EQ(info.feedEdge, 1);
    EXPECT_EQ(info.paperCode, 9);
    EXPECT_EQ(info.yResolution, 100u);
    EXPECT_EQ(info.mediaFlags, 0u);
    EXPECT_EQ(info.renderedFormat.formatId, OCM_COLOR_BGR24);
    EXPECT_EQ(info.renderedFormat.planes[0].depth, 24u);

    // The entry list is copied back: u32 sheet count, u32 entry count, the entries.
    std::vector<uint8_t> list(8 + 2 * 56, 0x5A);
    const uint32_t head[2] = {1, 2};
    std::memcpy(list.data(), head, 8);
    std::vector<uint8_t> back(list.size());
    size = static_cast<uint32_t>(back.size() - 1);
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_ENTRY_LIST, static_cast<uint32_t>(list.size()), list.data(), &size,
                                 back.data()),
              IMX_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, list.size());
    EXPECT_EQ(DeviceQueryDefault(DEVICE_QUERY_ENTRY_LIST, static_cast<uint32_t>(list.size()), list.data(), &size,
                                 back.data()),
              0);
    EXPECT_EQ(back, list);
}

TEST_F(DeviceQueries, WithoutAModuleTheMediaQuestionFails)
{
    context.slots.DeviceQuery = nullptr;
    ImoMediaRequest request{};
    EXPECT_EQ(DeviceJobQuery(&context, &request, nullptr, false), IMX_ERR_ARGUMENT);
    EXPECT_EQ(DeviceJobQuery(&context, &request, nullptr, true), IMX_ERR_QUERY_UNKNOWN);
}

TEST_F(DeviceQueries, ScaleAnswersBelowOneAreRefused)
{
    const int32_t value8[2] = {3, 4};
    const int32_t value16[4] = {5, 6, 7, 8};
    std::vector<uint8_t> seen;
    int32_t answer[4] = {2, 3, 4, 5};
    gAnswer = [&](uint32_t id, uint32_t inSize, const void* in, uint32_t* size, void* out) -> ImxStatus {
        if (id != DEVICE_QUERY_SCALE) return IMX_ERR_QUERY_UNKNOWN;
        seen.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inSize);
        return Give(answer, size, out);
    };
    int32_t out[4] = {};
    EXPECT_EQ(DeviceScaleQuery(&context, value8, value16, out), 0);
    const int32_t expectedInput[6] = {5, 6, 7, 8, 3, 4};
    ASSERT_EQ(seen.size(), 24u);
    EXPECT_EQ(std::memcmp(seen.data(), expectedInput, 24), 0);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[3], 5);
    answer[2] = 0;
    EXPECT_EQ(DeviceScaleQuery(&context, value8, value16, out), IMX_ERR_ARGUMENT);
    EXPECT_EQ(out[2], 4);  // the earlier answer stays
    gAnswer = nullptr;
    EXPECT_EQ(DeviceScaleQuery(&context, value8, value16, out), 0);
    EXPECT_EQ(out[0], 1);
}

TEST_F(DeviceQueries, AreaAnswersMustContainTheRectangleInsideTheExtent)
{
    const uint32_t extent[2] = {1000, 800};
    const RECT rectangle{100, 200, 300, 400};
    struct Case {
        RECT answer;
        ImxStatus result;
        RECT area;
    };
    const Case cases[] = {
        {{96, 192, 320, 416}, 0, {96, 192, 320, 416}},
        {{0, 0, 1000, 800}, 0, {0, 0, 1000, 800}},
        {{100, 200, 300, 400}, 0, {100, 200, 300, 400}},
        {{101, 200, 300, 400}, IMX_ERR_ARGUMENT, rectangle},  // cuts the rectangle
        {{100, 200, 299, 400}, IMX_ERR_ARGUMENT, rectangle},
        {{-1, 200, 300, 400}, IMX_ERR_ARGUMENT, rectangle},  // outside the extent
        {{100, 200, 1001, 400}, IMX_ERR_ARGUMENT, rectangle},
        {{100, 200, 300, 801}, IMX_ERR_ARGUMENT, rectangle},
        {{300, 200, 100, 400}, IMX_ERR_ARGUMENT, rectangle},  // inverted
        {{0, 0, 0, 0}, IMX_ERR_ARGUMENT, rectangle},  // the built-in answer contains nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.left);
        AnswerOnly(DEVICE_QUERY_AREA, [&](uint32_t* size, void* out) { return Give(c.answer, size, out); });
        RECT out{};
        EXPECT_EQ(DeviceAreaQuery(&context, extent, &rectangle, &out), c.result);
        EXPECT_EQ(out.left, c.area.left);
        EXPECT_EQ(out.top, c.area.top);
        EXPECT_EQ(out.right, c.area.right);
        EXPECT_EQ(out.bottom, c.area.bottom);
        EXPECT_EQ(context.area[2], c.area.right);
    }
}

TEST_F(DeviceQueries, ExtentAdjustGrowsByTheOverstrike)
{
    struct Case {
        uint32_t overstrike, w, h, w2, h2;
    };
    const Case cases[] = {
        {0, 1000, 1000, 1000, 1000},
        {25, 1000, 1000, 1025, 1006},
        {25, 10, 10, 12, 11},
        {2000, 100, 400, 300, 600},
        {25, 0, 0, 2, 1},
        {1, 0xFFFFFFFF, 8, 0xFFFFFFFF, 9},
    };
    for (const Case& c : cases) {
        context.overstrike = c.overstrike;
        uint32_t extent[2] = {c.w, c.h};
        DeviceExtentAdjust(&context, extent);
        EXPECT_EQ(extent[0], c.w2) << c.overstrike << " " << c.w;
        EXPECT_EQ(extent[1], c.h2) << c.overstrike << " " << c.h;
    }
}

// The module's media answer: the request comes back as seen, with the feed edge and formats given.
struct MediaScript {
    uint8_t feedEdge = 0;
    uint32_t mediaFlags = IMO_MEDIA_GRAY_FORMAT_VALID;
    ImoMediaRequest seen{};
    uint32_t seenId = 0;
};

TEST_F(DeviceQueries, PageFitScalePlacesTheSheet)
{
    MediaScript media;
    gAnswer = [&](uint32_t id, uint32_t inSize, const void* in, uint32_t* size, void* out) -> ImxStatus {
        if (id != DEVICE_QUERY_MEDIA && id != DEVICE_QUERY_MEDIA_PLACED) return IMX_ERR_QUERY_UNKNOWN;
        EXPECT_EQ(inSize, sizeof(ImoMediaRequest));
        std::memcpy(&media.seen, in, sizeof(media.seen));
        media.seenId = id;
        ImoMediaInfo info{};
        info.feedEdge = media.feedEdge;
        info.duplexMode = 1;
        info.paperCode = static_cast<uint16_t>(media.seen.paperCode + 1);
        info.mediaFlags = media.mediaFlags;
        info.xResolution = 200;
        info.yResolution = 100;
        info.outputFormat.formatId = OCM_COLOR_GRAY1;
        info.outputFormat.planeCount = 1;
        info.outputFormat.planes[0].depth = 1;
        return Give(info, size, out);
    };
    const uint32_t resolution[2] = {200, 200};
    const uint32_t landscape[2] = {2200, 1700};  // 11 x 8.5 inches
    struct Case {
        uint8_t feedEdge;
        uint32_t caps;
        uint32_t sidesRequest;
        uint32_t requestWidth, requestHeight, sides;
        uint8_t feed;
        uint32_t widthMils, heightMils;
    };
    const Case cases[] = {
        {0, 0, 0, 8500, 11000, 0, IMO_FEEDEDGE_LONG, 11000, 8500},
        {IMO_FEEDEDGE_SHORT, 0, 4, 8500, 11000, 1, IMO_FEEDEDGE_SHORT, 8500, 11000},
        {IMO_FEEDEDGE_LONG, 0, 8, 8500, 11000, 2, IMO_FEEDEDGE_LONG, 11000, 8500},
        {0, IMO_CAPS_ORIENTED_MEDIA, 2, 11000, 8500, 0, IMO_FEEDEDGE_LONG, 11000, 8500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sidesRequest);
        media.feedEdge = c.feedEdge;
        context.caps = c.caps;
        PagePlacement placement;
        ASSERT_TRUE(PageFitScale(&context, resolution, landscape, c.sidesRequest, 7, "Letter", &placement));
        EXPECT_EQ(media.seenId, uint32_t{DEVICE_QUERY_MEDIA});
        EXPECT_EQ(media.seen.width, c.requestWidth);
        EXPECT_EQ(media.seen.height, c.requestHeight);
        EXPECT_EQ(media.seen.sides, c.sides);
        EXPECT_EQ(media.seen.paperCode, 7);
        EXPECT_STREQ(media.seen.paperName, "Letter");
        EXPECT_EQ(placement.sides, c.sides);
        EXPECT_STREQ(placement.paperName, "Letter");
        EXPECT_EQ(placement.paperCode, 8);
        EXPECT_EQ(placement.duplexMode, 1);
        EXPECT_EQ(placement.feedEdge, c.feed);
        EXPECT_EQ(placement.sizeMils[0], c.widthMils);
        EXPECT_EQ(placement.sizeMils[1], c.heightMils);
        EXPECT_EQ(placement.sizePixels[0], c.widthMils / 5);  // 200 dpi
        EXPECT_EQ(placement.sizePixels[1], c.heightMils / 10);  // 100 dpi
        EXPECT_EQ(placement.grayFormat.formatId, OCM_COLOR_GRAY1);
    }

    PagePlacement placement;
    media.mediaFlags = 0;
    EXPECT_FALSE(PageFitScale(&context, resolution, landscape, 0, 7, nullptr, &placement));
    media.mediaFlags = IMO_MEDIA_COLOR_FORMAT_VALID;
    const uint32_t noResolution[2] = {0, 200};
    EXPECT_FALSE(PageFitScale(&context, noResolution, landscape, 0, 7, nullptr, &placement));
    const char longName[] = "A paper name that runs well past thirty-two characters";
    ASSERT_TRUE(PageFitScale(&context, resolution, landscape, 0, 7, longName, &placement));
    EXPECT_EQ(std::memcmp(placement.paperName, longName, 32), 0);
}

TEST_F(DeviceQueries, PageFitPlaceAsksForThePlacedSheet)
{
    uint8_t feedEdge = IMO_FEEDEDGE_LONG;
    ImoMediaRequest seen{};
    gAnswer = [&](uint32_t id, uint32_t, const void* in, uint32_t* size, void* out) -> ImxStatus {
        if (id != DEVICE_QUERY_MEDIA_PLACED) return IMX_ERR_QUERY_UNKNOWN;
        std::memcpy(&seen, in, sizeof(seen));
        ImoMediaInfo info{};
        info.feedEdge = feedEdge;
        info.paperCode = 3;
        info.mediaFlags = IMO_MEDIA_GRAY_FORMAT_VALID;
        info.xResolution = 100;
        info.yResolution = 100;
        return Give(info, size, out);
    };
    PagePlacement placement{};
    placement.sides = 1;
    placement.paperCode = 2;
    placement.resolution[0] = placement.resolution[1] = 100;
    placement.sizeMils[0] = 8500;
    placement.sizeMils[1] = 11000;
    ASSERT_TRUE(PageFitPlace(&context, &placement));
    EXPECT_EQ(seen.width, 8500u);
    EXPECT_EQ(seen.height, 11000u);
    EXPECT_EQ(seen.sides, 1u);
    EXPECT_EQ(placement.feedEdge, IMO_FEEDEDGE_LONG);
    EXPECT_EQ(placement.paperCode, 3);
    EXPECT_EQ(placement.sizeMils[0], 11000u);  // raised to the height for a long-edge feed
    EXPECT_EQ(placement.sizeMils[1], 11000u);
    EXPECT_EQ(placement.sizePixels[0], 1100u);

    feedEdge = 0;  // either: the record's own shape decides, landscape here
    placement.sizeMils[0] = 12000;
    placement.sizeMils[1] = 9000;
    ASSERT_TRUE(PageFitPlace(&context, &placement));
    EXPECT_EQ(seen.width, 9000u);  // put upright for the question
    EXPECT_EQ(placement.feedEdge, IMO_FEEDEDGE_LONG);
    EXPECT_EQ(placement.sizeMils[0], 12000u);
}

TEST_F(DeviceQueries, EntryListIsReplacedByTheAnswer)
{
    std::vector<uint8_t> list(8 + 56, 0);
    const uint32_t head[2] = {1, 1};
    std::memcpy(list.data(), head, 8);
    EXPECT_EQ(DeviceEntryListQuery(&context, list.data()), 0);  // built-in: copied back
    ASSERT_NE(context.entryList, nullptr);
    EXPECT_EQ(std::memcmp(context.entryList, list.data(), list.size()), 0);

    std::vector<uint8_t> rewritten(8 + 3 * 56, 0x33);
    const uint32_t head3[2] = {2, 3};
    std::memcpy(rewritten.data(), head3, 8);
    std::vector<uint32_t> offered;
    gAnswer = [&](uint32_t id, uint32_t, const void*, uint32_t* size, void* out) -> ImxStatus {
        if (id != DEVICE_QUERY_ENTRY_LIST) return IMX_ERR_QUERY_UNKNOWN;
        offered.push_back(*size);
        return GiveBytes(rewritten, size, out);
    };
    EXPECT_EQ(DeviceEntryListQuery(&context, list.data()), 0);
    const std::vector<uint32_t> sizes = {64, 176};
    EXPECT_EQ(offered, sizes);
    EXPECT_EQ(std::memcmp(context.entryList, rewritten.data(), rewritten.size()), 0);

    gAnswer = [](uint32_t, uint32_t, const void*, uint32_t*, void*) -> ImxStatus { return -1; };
    EXPECT_EQ(DeviceEntryListQuery(&context, list.data()), -1);
    EXPECT_EQ(context.entryList, nullptr);
}

TEST(BuiltInSlots, ConvertAndHalftoneInTheirOwnFormatOnly)
{
    uint8_t flag = 0;
    uint32_t out = 0;
    const uint8_t bgr0[4] = {1, 2, 3, 0};
    EXPECT_EQ(ColorConvertDefault(nullptr, OCM_COLOR_BGR24, &flag, 1, bgr0, &out), 0);
    EXPECT_EQ(flag, 255);
    EXPECT_EQ(out, 0x00030201u);
    EXPECT_EQ(ColorConvertDefault(nullptr, OCM_COLOR_BGR24, &flag, 3, bgr0, &out), IMX_ERR_UNSUPPORTED);
    EXPECT_EQ(ColorConvertDefault(nullptr, OCM_COLOR_GRAY1, &flag, 1, bgr0, &out), IMX_ERR_UNSUPPORTED);

    ImxTexture texture{};
    const uint32_t color = 0x00ABCDEF;
    EXPECT_EQ(HalftoneColorDefault(nullptr, OCM_COLOR_GRAY8, &flag, reinterpret_cast<const uint8_t*>(&color), &texture),
              IMX_ERR_UNSUPPORTED);
    flag = 0;
    EXPECT_EQ(HalftoneColorDefault(nullptr, OCM_COLOR_BGR24, &flag, reinterpret_cast<const uint8_t*>(&color), &texture),
              0);
    EXPECT_EQ(flag, 255);
    EXPECT_EQ(texture.planeCount, 1u);
    EXPECT_EQ(texture.planes[0].flags, IMX_PLANE_SOLID);
    EXPECT_EQ(texture.planes[0].solidValue, color);
    EXPECT_EQ(texture.planes[0].depth, 24);

    uint8_t pixels[2 * 6] = {};
    ImxImage image{};
    image.formatId = OCM_COLOR_BGR24;
    image.x = 5;
    image.y = -3;
    image.width = 2;
    image.height = 1;
    image.planeCount = 1;
    image.planes[0] = ImxPlane{};
    image.planes[0].depth = 24;
    image.planes[0].stride = 6;
    image.planes[0].data = pixels;
    EXPECT_EQ(HalftoneImageDefault(nullptr, 0, &image, &texture), 0);
    EXPECT_EQ(texture.x, 5);
    EXPECT_EQ(texture.y, -3);
    EXPECT_EQ(texture.planes[0].data, pixels);
    EXPECT_TRUE(texture.planes[0].flags & IMX_PLANE_BORROWED);
    image.planes[0].depth = 32;
    EXPECT_EQ(HalftoneImageDefault(nullptr, 0, &image, &texture), IMX_ERR_UNSUPPORTED);
}

TEST(BuiltInSlots, ImageConvertKeepsThreeBytesOfEachPixel)
{
    OutputModuleContext context{};
    ASSERT_EQ(OutputModuleLoad(&context, nullptr, nullptr, nullptr, nullptr, nullptr), 0u);
    const uint8_t source[2][8] = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}};
    ImxImageFormat target{};
    target.formatId = OCM_COLOR_BGR24;
    target.colorBits = 24;
    target.planeCount = 1;
    target.planes[0].depth = 24;
    uint8_t destination[2 * 8] = {};
    uint8_t* bits = nullptr;
    uint32_t stride = 0;
    const uint32_t size[2] = {2, 2};
    ASSERT_TRUE(ImageConvert(&context, &target, 0, 4, &source[0][0], 8, size, destination, &bits, &stride));
    EXPECT_EQ(bits, destination);
    EXPECT_EQ(stride, 8u);  // two 24-bit pixels, rounded to 32 bits
    const uint8_t expected[16] = {1, 2, 3, 5, 6, 7, 0, 0, 9, 10, 11, 13, 14, 15, 0, 0};
    EXPECT_EQ(std::memcmp(destination, expected, 16), 0);
    target.formatId = OCM_COLOR_GRAY8;
    EXPECT_FALSE(ImageConvert(&context, &target, 0, 4, &source[0][0], 8, size, destination, &bits, &stride));
    target.formatId = OCM_COLOR_BGR24;
    EXPECT_FALSE(ImageConvert(&context, &target, 0, 3, &source[0][0], 8, size, destination, &bits, &stride));

    uint8_t flag = 0;
    uint32_t colors[3] = {0x00112233, 0x00445566, 0};
    ASSERT_TRUE(ColorsConvert(&context, OCM_COLOR_BGR24, &flag, 3, colors));
    EXPECT_EQ(colors[0], 0x00332211u);  // the bytes B, G, R, 0 of COLORREF 0x00BBGGRR
    EXPECT_EQ(colors[1], 0x00665544u);
    uint32_t one = 0;
    ASSERT_TRUE(ColorConvert(&context, OCM_COLOR_BGR24, &flag, 0x00010203, &one));
    EXPECT_EQ(one, 0x00030201u);
    EXPECT_FALSE(ColorConvert(&context, OCM_COLOR_GRAY1, &flag, 0, &one));
    OutputModuleUnload(&context);
}

// A module's converter writes one colour of the format per pixel (8 bits for grey) whatever depth
// its planes are halftoned to later: the row it is handed holds the whole width of those colours.
ImxStatus GreyConvert(ImoInstance, uint32_t, const ImxImage* source, ImxImage* destination)
{
    const ImxPlane& from = source->planes[0];
    const ImxPlane& to = destination->planes[0];
    if (to.depth != 8 || source->width > to.stride) return IMX_ERR_ARGUMENT;  // a row would run past its stride
    for (uint32_t y = 0; y < source->height; ++y)
        for (uint32_t x = 0; x < source->width; ++x) {
            const uint8_t* p = from.data + size_t(y) * from.stride + 3 * x;
            to.data[size_t(y) * to.stride + x] = uint8_t((p[0] + p[1] + p[2]) / 3);
        }
    return IMX_OK;
}

TEST(BuiltInSlots, ImageConvertHandsTheConverterRowsOfWholeColoursWhateverThePlanesDepth)
{
    struct Case {
        const char* name;
        OcmColorFormat format;
        uint32_t planeDepth;
    } cases[] = {{"grey halftoned to one bit", OCM_COLOR_GRAY1, 1}, {"grey kept at eight bits", OCM_COLOR_GRAY8, 8}};
    constexpr uint32_t kW = 41, kH = 3, kSourceStride = (kW * 3 + 3) / 4 * 4;
    std::vector<uint8_t> source(size_t(kSourceStride) * kH);
    for (size_t i = 0; i < source.size(); ++i) source[i] = uint8_t(i * 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputModuleContext context{};
        context.slots.ColorConvertImage = GreyConvert;
        ImxImageFormat target{};
        target.formatId = c.format;
        target.colorBits = 8;
        target.planeCount = 1;
        target.planes[0].depth = c.planeDepth;
        std::vector<uint8_t> destination(size_t(kW + 3) * kH, 0xEE);
        uint8_t* bits = nullptr;
        uint32_t stride = 0;
        const uint32_t size[2] = {kW, kH};
        ASSERT_TRUE(ImageConvert(&context, &target, 0, 1, source.data(), kSourceStride, size, destination.data(), &bits,
                                 &stride));
        EXPECT_EQ(stride, (kW + 3) / 4 * 4);
        for (uint32_t y = 0; y < kH; ++y)
            for (uint32_t x = 0; x < kW; ++x) {
                const uint8_t* p = &source[size_t(y) * kSourceStride + 3 * x];
                ASSERT_EQ(bits[size_t(y) * stride + x], uint8_t((p[0] + p[1] + p[2]) / 3)) << x << ", " << y;
            }
    }
}

}  // namespace
