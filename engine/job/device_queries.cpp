#include "engine/job/device_queries.h"

#include <algorithm>
#include <cstring>

#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "platform/kernel.h"

ImxStatus DeviceQueryAsk(OutputModuleContext* context, uint32_t id, uint32_t inputSize, const void* input,
                         uint32_t* outputSize, void* output)
{
    if (context->slots.DeviceQuery != nullptr) {
        const ImxStatus result =
            context->slots.DeviceQuery(context->instance, id, inputSize, input, outputSize, output);
        if (result != IMX_ERR_QUERY_UNKNOWN) return result;
    }
    return DeviceQueryDefault(id, inputSize, input, outputSize, output);
}

uint32_t DeviceCapsDerive(uint32_t caps)
{
    if (caps & IMO_CAPS_TRIM_BAND) caps |= 0x1A0;
    else if (caps & IMO_CAPS_TRIM_AREA) caps |= IMO_CAPS_TRIM_PAGE;
    if (caps & IMO_CAPS_OPT_GRAY) caps |= IMO_CAPS_OPT_BW;
    constexpr uint32_t allEdges = IMO_CAPS_TRIM_LEFT | IMO_CAPS_TRIM_RIGHT | IMO_CAPS_TRIM_TOP | IMO_CAPS_TRIM_BOTTOM;
    if ((caps & allEdges) == allEdges) caps |= (caps & IMO_CAPS_TRIM_PAGE) ? IMO_CAPS_TRIM_AREA : IMO_CAPS_TRIM_PAGE;
    return caps;
}

ImxStatus DeviceFlagsQuery(OutputModuleContext* context)
{
    uint32_t caps = 0;
    uint32_t size = sizeof(caps);
    const ImxStatus result = DeviceQueryAsk(context, DEVICE_QUERY_CAPS, 0, nullptr, &size, &caps);
    if (result != 0) return result;
    context->caps = DeviceCapsDerive(caps);
    return 0;
}

namespace {

// One fixed-size question; the answer is stored only when the question succeeded.
template <typename T>
bool AskValue(OutputModuleContext* context, uint32_t id, T* field)
{
    T value{};
    uint32_t size = sizeof(value);
    if (DeviceQueryAsk(context, id, 0, nullptr, &size, &value) != 0) return false;
    *field = value;
    return true;
}

// The id-3 answer in a buffer of its own, grown once when the module asks for more.
struct MaskAnswer {
    uint8_t* bytes = nullptr;
    uint32_t size = 0;
    ~MaskAnswer() { RenderFree(bytes); }
};

// A pattern is taken only when its rows lie inside the answer and each row covers the width in
// whole 32-bit words.
bool MaskPatternValid(const uint8_t* answer, uint32_t size)
{
    if (size < 16) return false;
    int32_t head[3];
    std::memcpy(head, answer + 4, sizeof(head));
    const int64_t width = head[0], height = head[1], stride = head[2];
    if (width < 1 || height < 1 || stride < 1 || stride % 4 != 0) return false;
    if (stride * 8 < width) return false;
    return 16 + stride * height <= static_cast<int64_t>(size);
}

enum class MaskOutcome { Taken, Failed };

MaskOutcome MaskPatternTake(OutputModuleContext* context, const uint8_t* answer, uint32_t size)
{
    int32_t head[3];
    std::memcpy(head, answer + 4, sizeof(head));
    const size_t rowBytes = static_cast<size_t>(head[2]) * static_cast<size_t>(head[1]);
    auto* pattern = static_cast<MaskPattern*>(RenderAlloc(sizeof(MaskPattern) + rowBytes));
    if (pattern == nullptr) return MaskOutcome::Failed;
    (void)size;
    pattern->width = head[0];
    pattern->height = head[1];
    pattern->stride = head[2];
    std::memcpy(pattern + 1, answer + 16, rowBytes);
    RenderFree(context->maskPattern);
    context->maskPattern = pattern;
    context->maskKind = MASK_KIND_PATTERN;
    return MaskOutcome::Taken;
}

bool MaskPatternQuery(OutputModuleContext* context)
{
    MaskAnswer answer;
    answer.size = DEVICE_MASK_BUFFER_BYTES;
    answer.bytes = static_cast<uint8_t*>(RenderAlloc(answer.size));
    if (answer.bytes == nullptr) return false;
    uint32_t written = answer.size;
    ImxStatus result = DeviceQueryAsk(context, DEVICE_QUERY_MASK_PATTERN, 0, nullptr, &written, answer.bytes);
    if (result == IMX_ERR_BUFFER_TOO_SMALL && written > answer.size) {
        const uint32_t grown = std::min(written, DEVICE_ANSWER_MAX_BYTES);
        RenderFree(answer.bytes);
        answer.size = grown;
        answer.bytes = static_cast<uint8_t*>(RenderAlloc(answer.size));
        if (answer.bytes == nullptr) return false;
        written = answer.size;
        result = DeviceQueryAsk(context, DEVICE_QUERY_MASK_PATTERN, 0, nullptr, &written, answer.bytes);
    }
    if (result != 0) return false;
    const uint32_t size = std::min(written, answer.size);
    if (size < 4) return false;
    uint32_t kind;
    std::memcpy(&kind, answer.bytes, sizeof(kind));
    if (kind == MASK_KIND_NONE) {
        RenderFree(context->maskPattern);
        context->maskPattern = nullptr;
        context->maskKind = MASK_KIND_NONE;
        return true;
    }
    if (kind != MASK_KIND_PATTERN) return false;
    if (MaskPatternValid(answer.bytes, size)) return MaskPatternTake(context, answer.bytes, size) == MaskOutcome::Taken;
    // A pattern whose rows do not fit its answer is refused; the built-in pattern stands in.
    uint32_t builtInSize = answer.size;
    if (DeviceQueryDefault(DEVICE_QUERY_MASK_PATTERN, 0, nullptr, &builtInSize, answer.bytes) != 0) return false;
    return MaskPatternTake(context, answer.bytes, builtInSize) == MaskOutcome::Taken;
}

}  // namespace

bool DevicePageQuery(OutputModuleContext* context)
{
    bool ok = true;
    uint32_t caps = 0;
    if (AskValue(context, DEVICE_QUERY_CAPS, &caps)) context->caps = DeviceCapsDerive(caps);
    else ok = false;
    if (context->caps & IMO_CAPS_MANUAL_DUPLEX)
        ok &= AskValue(context, DEVICE_QUERY_DUPLEX_VALUE, &context->duplexValue);
    ok &= AskValue(context, DEVICE_QUERY_OPTIONS, &context->options);
    if (context->options & IMO_OPTION_THINLINE_HINTS)
        ok &= AskValue(context, DEVICE_QUERY_THIN_LINE, &context->thinLineValue);
    ok &= AskValue(context, DEVICE_QUERY_PLANE_LIMIT, &context->planeLimit);
    if (AskValue(context, DEVICE_QUERY_OVERSTRIKE, &context->overstrike))
        context->overstrike = std::min<uint32_t>(context->overstrike, IMO_OVERSTRIKE_PCT_MAX);
    else ok = false;
    ok &= MaskPatternQuery(context);
    return ok;
}

ImxStatus DeviceJobQuery(OutputModuleContext* context, const ImoMediaRequest* request, ImoMediaInfo* copyOut,
                         bool placed)
{
    std::memset(&context->media, 0, sizeof(context->media));
    uint32_t size = sizeof(context->media);
    const ImxStatus result = DeviceQueryAsk(context, placed ? DEVICE_QUERY_MEDIA_PLACED : DEVICE_QUERY_MEDIA,
                                            sizeof(*request), request, &size, &context->media);
    if (result != 0) return result;
    if ((context->media.mediaFlags & (IMO_MEDIA_COLOR_FORMAT_VALID | IMO_MEDIA_GRAY_FORMAT_VALID)) == 0)
        return IMX_ERR_ARGUMENT;
    if (copyOut != nullptr) *copyOut = context->media;
    return 0;
}

ImxStatus DeviceEntryListQuery(OutputModuleContext* context, const void* list)
{
    uint32_t head[2];
    std::memcpy(head, list, sizeof(head));
    const uint64_t bytes = static_cast<uint64_t>(head[1]) * sizeof(SheetEntry) + 8;
    if (bytes > DEVICE_ANSWER_MAX_BYTES) return IMX_ERR_ARGUMENT;
    RenderFree(context->entryList);
    context->entryList = RenderAlloc(static_cast<size_t>(bytes));
    if (context->entryList == nullptr) return IMX_ERR_NO_MEMORY;
    std::memcpy(context->entryList, list, static_cast<size_t>(bytes));
    uint32_t size = static_cast<uint32_t>(bytes);
    ImxStatus result = DeviceQueryAsk(context, DEVICE_QUERY_ENTRY_LIST, size, list, &size, context->entryList);
    if (result == IMX_ERR_BUFFER_TOO_SMALL && size > bytes) {
        const uint32_t grown = std::min(size, DEVICE_ANSWER_MAX_BYTES);
        RenderFree(context->entryList);
        context->entryList = RenderAlloc(grown);
        if (context->entryList == nullptr) return IMX_ERR_NO_MEMORY;
        size = grown;
        result = DeviceQueryAsk(context, DEVICE_QUERY_ENTRY_LIST, static_cast<uint32_t>(bytes), list, &size,
                                context->entryList);
    }
    if (result != 0) {
        RenderFree(context->entryList);
        context->entryList = nullptr;
    }
    return result;
}

ImxStatus DeviceScaleQuery(OutputModuleContext* context, const int32_t value8[2], const int32_t value16[4],
                           int32_t out[4])
{
    int32_t input[6];
    std::memcpy(input, value16, 16);
    std::memcpy(input + 4, value8, 8);
    int32_t answer[4] = {1, 1, 1, 1};
    uint32_t size = sizeof(answer);
    ImxStatus result = DeviceQueryAsk(context, DEVICE_QUERY_SCALE, sizeof(input), input, &size, answer);
    if (result == 0) {
        if (std::any_of(answer, answer + 4, [](int32_t v) { return v < 1; })) result = IMX_ERR_ARGUMENT;
        else std::memcpy(context->scale, answer, sizeof(answer));
    }
    if (out != nullptr) std::memcpy(out, context->scale, sizeof(context->scale));
    return result;
}

ImxStatus DeviceAreaQuery(OutputModuleContext* context, const uint32_t extent[2], const RECT* rectangle, RECT* out)
{
    context->area[0] = rectangle->left;
    context->area[1] = rectangle->top;
    context->area[2] = rectangle->right;
    context->area[3] = rectangle->bottom;
    uint8_t input[24];
    std::memcpy(input, rectangle, 16);
    std::memcpy(input + 16, extent, 8);
    int32_t answer[4] = {0, 0, 0, 0};
    uint32_t size = sizeof(answer);
    ImxStatus result = DeviceQueryAsk(context, DEVICE_QUERY_AREA, sizeof(input), input, &size, answer);
    if (result == 0) {
        const int64_t left = answer[0], top = answer[1], right = answer[2], bottom = answer[3];
        const bool accepted = left <= right && top <= bottom && left <= rectangle->left && top <= rectangle->top &&
                              right >= rectangle->right && bottom >= rectangle->bottom && left >= 0 && top >= 0 &&
                              right <= static_cast<int64_t>(extent[0]) && bottom <= static_cast<int64_t>(extent[1]);
        if (accepted) std::memcpy(context->area, answer, sizeof(answer));
        else result = IMX_ERR_ARGUMENT;
    }
    if (out != nullptr) *out = RECT{context->area[0], context->area[1], context->area[2], context->area[3]};
    return result;
}

void DeviceExtentAdjust(const OutputModuleContext* context, uint32_t extent[2])
{
    const uint64_t v = context->overstrike;
    if (v == 0) return;
    // Computed in 64 bits and held at the largest extent rather than wrapped.
    const uint64_t w = extent[0], h = extent[1];
    extent[0] = static_cast<uint32_t>(std::min<uint64_t>(w + std::max<uint64_t>(w * v / 1000, 2), UINT32_MAX));
    extent[1] = static_cast<uint32_t>(std::min<uint64_t>(h + std::max<uint64_t>(h * v / 4000, 1), UINT32_MAX));
}

// ---- Page placement ----

namespace {

// Size in 1/1000 inch from pixels; false on a zero or unusable resolution.
bool MilsFromPixels(const uint32_t pixels[2], const uint32_t resolution[2], uint32_t mils[2])
{
    for (int axis = 0; axis < 2; ++axis) {
        if (resolution[axis] == 0) return false;
        const uint64_t value = (static_cast<uint64_t>(pixels[axis]) * 1000 + resolution[axis] / 2) / resolution[axis];
        if (value > INT32_MAX) return false;
        mils[axis] = static_cast<uint32_t>(value);
    }
    return true;
}

uint32_t PixelsFromMils(uint32_t mils, uint32_t dpi)
{
    const uint64_t value = (static_cast<uint64_t>(mils) * dpi + 500) / 1000;
    return value > INT32_MAX ? 0 : static_cast<uint32_t>(value);
}

void RequestFill(const OutputModuleContext* context, ImoMediaRequest* request, uint32_t sides, uint16_t paperCode,
                 const uint32_t resolution[2], const char* paperName, const uint32_t mils[2])
{
    std::memset(request, 0, sizeof(*request));
    request->sides = sides;
    request->paperCode = paperCode;
    request->xResolution = resolution[0];
    request->yResolution = resolution[1];
    request->width = mils[0];
    request->height = mils[1];
    if (!(context->caps & IMO_CAPS_ORIENTED_MEDIA) && request->width > request->height)
        std::swap(request->width, request->height);
    if (paperName != nullptr)
        std::memcpy(request->paperName, paperName, strnlen(paperName, sizeof(request->paperName)));
}

void PlacementFromAnswer(PagePlacement* placement, const ImoMediaRequest& request, const ImoMediaInfo& info,
                         uint8_t feedEdge)
{
    placement->sides = request.sides;
    placement->duplexMode = info.duplexMode;
    placement->feedEdge = feedEdge;
    placement->mediaFlags = info.mediaFlags;
    placement->paperCode = info.paperCode;
    std::memcpy(placement->paperName, request.paperName, sizeof(placement->paperName));
    placement->resolution[0] = info.xResolution;
    placement->resolution[1] = info.yResolution;
    placement->colorFormat = info.renderedFormat;
    placement->grayFormat = info.outputFormat;
}

void PlacementPixels(PagePlacement* placement)
{
    placement->sizePixels[0] = PixelsFromMils(placement->sizeMils[0], placement->resolution[0]);
    placement->sizePixels[1] = PixelsFromMils(placement->sizeMils[1], placement->resolution[1]);
}

}  // namespace

bool PageFitScale(OutputModuleContext* context, const uint32_t resolution[2], const uint32_t sizePixels[2],
                  uint32_t sidesRequest, uint16_t paperCode, const char* paperName, PagePlacement* placement)
{
    const uint32_t sides = sidesRequest == 4 ? 1 : sidesRequest == 8 ? 2 : 0;
    uint32_t mils[2];
    if (!MilsFromPixels(sizePixels, resolution, mils)) return false;
    ImoMediaRequest request;
    RequestFill(context, &request, sides, paperCode, resolution, paperName, mils);
    ImoMediaInfo info;
    if (DeviceJobQuery(context, &request, &info, false) != 0) return false;

    const bool landscape = mils[0] > mils[1];
    const uint8_t feedEdge = info.feedEdge != IMO_FEEDEDGE_EITHER
                                 ? info.feedEdge
                                 : static_cast<uint8_t>(landscape ? IMO_FEEDEDGE_LONG : IMO_FEEDEDGE_SHORT);
    std::memset(placement, 0, sizeof(*placement));
    PlacementFromAnswer(placement, request, info, feedEdge);
    // A long-edge feed takes the sheet landscape, a short-edge feed portrait.
    const uint32_t shorter = std::min(mils[0], mils[1]), longer = std::max(mils[0], mils[1]);
    if (feedEdge == IMO_FEEDEDGE_LONG) {
        placement->sizeMils[0] = longer;
        placement->sizeMils[1] = shorter;
    } else if (feedEdge == IMO_FEEDEDGE_SHORT) {
        placement->sizeMils[0] = shorter;
        placement->sizeMils[1] = longer;
    } else {
        placement->sizeMils[0] = mils[0];
        placement->sizeMils[1] = mils[1];
    }
    PlacementPixels(placement);
    return true;
}

bool PageFitPlace(OutputModuleContext* context, PagePlacement* placement)
{
    ImoMediaRequest request;
    RequestFill(context, &request, placement->sides, placement->paperCode, placement->resolution, placement->paperName,
                placement->sizeMils);
    ImoMediaInfo info;
    if (DeviceJobQuery(context, &request, &info, true) != 0) return false;
    const uint8_t current = placement->sizeMils[0] > placement->sizeMils[1] ? IMO_FEEDEDGE_LONG : IMO_FEEDEDGE_SHORT;
    const uint8_t feedEdge = info.feedEdge != IMO_FEEDEDGE_EITHER ? info.feedEdge : current;
    const uint32_t width = placement->sizeMils[0], height = placement->sizeMils[1];
    PlacementFromAnswer(placement, request, info, feedEdge);
    placement->sizeMils[0] = width;
    placement->sizeMils[1] = height;
    if (feedEdge == IMO_FEEDEDGE_LONG && placement->sizeMils[0] < placement->sizeMils[1])
        placement->sizeMils[0] = placement->sizeMils[1];
    else if (feedEdge == IMO_FEEDEDGE_SHORT && placement->sizeMils[0] > placement->sizeMils[1])
        placement->sizeMils[0] = placement->sizeMils[1];
    PlacementPixels(placement);
    return true;
}
