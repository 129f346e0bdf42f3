#include "engine/raster/band_plan.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/common/geometry.h"
#include "engine/common/log_context.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/raster/band_surface.h"

BandMemory* BandMemoryCreate(OutputModuleContext* job, uint32_t budget)
{
    auto* memory = static_cast<BandMemory*>(RenderAlloc(sizeof(BandMemory)));
    if (memory == nullptr) return nullptr;
    memory->job = job;
    // Rounded up to whole pages; a budget within the last page of the range keeps its last page.
    const uint64_t rounded = (static_cast<uint64_t>(budget) + 4095) & ~uint64_t{4095};
    memory->budget = rounded > 0xFFFFF000u ? 0xFFFFF000u : static_cast<uint32_t>(rounded);
    return memory;
}

void BandMemoryDestroy(BandMemory* memory)
{
    if (memory == nullptr) return;
    RenderFree(memory->workBuffer);
    RenderFree(memory);
}

namespace {

constexpr uint32_t kDefaultMinimumLines = 8;

uint64_t Up4(uint64_t v) { return (v + 3) & ~uint64_t{3}; }
uint64_t Down4(uint64_t v) { return v & ~uint64_t{3}; }

// Products of sizes saturate, so that an absurd page fails the budget or the buffer limit rather
// than wrapping into a small number.
uint64_t Mul(uint64_t a, uint64_t b)
{
    uint64_t product;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}
uint64_t Add(uint64_t a, uint64_t b)
{
    uint64_t sum;
    return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}
uint64_t Sum(std::initializer_list<uint64_t> terms)
{
    uint64_t total = 0;
    for (uint64_t t : terms) total = Add(total, t);
    return total;
}

uint64_t GranuleStep(const BandPlanInputs& in, uint64_t v)
{
    if (!in.granule || in.hostLines == 0) return v;
    return std::max(v - v % in.hostLines, in.hostLines);
}

uint64_t Aligned(const BandPlanInputs& in, uint64_t x)
{
    if (in.alignment <= 1) return x;
    return x + (in.alignment - x % in.alignment) % in.alignment;
}

bool Fixed(const BandPlanInputs& in) { return in.hostLines != 0 && !in.granule; }

uint32_t PlaneCount(const BandLayout* layout) { return std::min(layout->band.planeCount, IMX_MAX_PLANES); }

// Writes each plane's stride for a band line of lineLength job pixels and returns P, the plane
// bytes per band line.
uint64_t PlaneLineBytes(const BandPlanInputs& in, BandLayout* layout, uint64_t lineLength)
{
    uint64_t total = 0;
    for (uint32_t i = 0; i < PlaneCount(layout); ++i) {
        const ImxPlaneFormat& format = layout->planeConfig.planes[i];
        const uint64_t depth = format.depth & 0xFF;
        layout->band.planes[i].stride = 0;
        if (depth == 0) continue;
        const uint64_t width = Mul(format.xResolution, lineLength) / in.jobX;
        const uint64_t stride = Down4(Add(Mul(width, depth), 31) / 8);
        layout->band.planes[i].stride = static_cast<uint32_t>(std::min<uint64_t>(stride, UINT32_MAX));
        total = Add(total, Mul(format.yResolution, stride) / in.jobY);
    }
    return total;
}

uint64_t RectExtent(LONG low, LONG high) { return static_cast<uint64_t>(std::max<int64_t>(int64_t{high} - low, 1)); }

}  // namespace

void BandPlanUpright(const BandPlanInputs* in, BandLayout* layout, BandPlan* out)
{
    const uint64_t W = std::max<uint64_t>(in->rectWidth, 1);
    const uint64_t P = PlaneLineBytes(*in, layout, W);
    const uint64_t MW = Mul(in->maxX, W) / in->jobX;
    const uint64_t c = Up4(Mul(3, W));
    const uint64_t k = Mul((MW + 31) / 32 * 4, in->maxY) / in->jobY;
    const uint64_t b = Down4((W + 31) / 8);
    const uint64_t x = in->bytesPerPixel >= 4 ? Up4(Mul(in->bytesPerPixel, W)) : 0;
    uint64_t H;
    if (Fixed(*in)) {
        H = in->hostLines;
    } else {
        H = in->budget / Sum({Mul(c, 1 + in->second), Mul(k, 1 + in->multiResolution), P, Mul(in->second, b), x});
        if (in->planeLimit != 0 && P != 0) H = std::min(H, in->planeLimit / P);
        H = GranuleStep(*in, H);
    }
    H = std::min(H, Aligned(*in, in->pageHeight));
    *out = BandPlan{};
    out->bandWidth = W;
    out->bandHeight = H;
    out->maskWidth = MW;
    out->maskHeight = Mul(in->maxY, H) / in->jobY;
    out->planeBytes = Mul(P, H);
    out->conversionBytes = Mul(x, H);
    out->colorMinimum = Mul(c, H);
}

void BandPlanHalfTurn(const BandPlanInputs* in, BandLayout* layout, BandPlan* out)
{
    const uint64_t q = in->bytesPerPixel, s = in->second, m = in->multiResolution;
    const uint64_t W = std::max<uint64_t>(in->rectWidth, 1);
    const uint64_t P = PlaneLineBytes(*in, layout, W);
    const uint64_t MW = Mul(in->maxX, W) / in->jobX;
    const uint64_t km = Down4(Add(MW, 31) / 8);
    const uint64_t b = Down4((W + 31) / 8);
    const uint64_t c = Up4(Mul(3, W));
    const uint64_t qW = Up4(Mul(q, W));
    const uint64_t x = qW - c;
    const uint64_t xp = x != 0 ? Up4(q) : 0;
    uint64_t H;
    if (Fixed(*in)) {
        H = in->hostLines;
    } else {
        H = in->budget / Sum({Mul(m, km), P, Mul(km + c, 2 + s), x});
        if (in->planeLimit != 0 && P != 0) H = std::min(H, in->planeLimit / P);
    }
    H = std::min(H, Aligned(*in, in->pageHeight));
    const uint64_t K = Sum({Mul(s, b), P, Mul(c, 1 + s), x});
    uint64_t MH, S;
    for (;;) {
        H = GranuleStep(*in, H);
        MH = Mul(in->maxY, H) / in->jobY;
        S = Mul((Mul(qW, H) + c - 1) / c, c);
        if (Fixed(*in)) break;
        if (Sum({S, xp, Mul(Mul(2 + m, MH), km), Mul(K, H)}) <= in->budget) break;
        if (in->granule && H <= in->hostLines) break;
        const uint64_t before = H--;
        if (before <= 1) break;
    }
    *out = BandPlan{};
    out->bandWidth = W;
    out->bandHeight = H;
    out->maskWidth = MW;
    out->maskHeight = MH;
    out->planeBytes = Mul(P, H);
    out->conversionBytes = Add(Mul(x, H), xp);
    out->colorOutBytes = Mul(c, H);
    out->maskOutBytes = Mul(km, MH);
    out->colorMinimum = S;
}

void BandPlanQuarterTurn(const BandPlanInputs* in, BandLayout* layout, BandPlan* out)
{
    const uint64_t q = in->bytesPerPixel, s = in->second, m = in->multiResolution;
    const uint64_t H = std::max<uint64_t>(in->rectHeight, 1);
    const uint64_t P = PlaneLineBytes(*in, layout, H);
    const uint64_t MR = Mul(in->maxX, H) / in->jobX;
    const uint64_t mr = Down4(Add(MR, 31) / 8);
    const uint64_t c = Up4(Mul(3, H));
    const uint64_t cq = Up4(Mul(q, H));
    const uint64_t x = cq - c;
    const uint64_t xp = cq != c ? Up4(q) : 0;
    uint64_t W;
    if (Fixed(*in)) {
        W = in->hostLines;
    } else {
        W = in->budget / Sum({P, Mul(28, s), Mul(4, m), x, mr, c});
        if (in->planeLimit != 0 && P != 0) W = std::min(W, in->planeLimit / P);
    }
    W = std::min(W, Aligned(*in, in->pageWidth));
    uint64_t MW, S;
    for (;;) {
        W = GranuleStep(*in, W);
        MW = Mul(W, in->maxY) / in->jobY;
        const uint64_t mw = Down4(Add(MW, 31) / 8);
        const uint64_t cw = Up4(Mul(3, W));
        const uint64_t bw = Down4((W + 31) / 8);
        S = cw == 0 ? 0 : Mul((Mul(Up4(Mul(q, W)), H) + cw - 1) / cw, cw);
        if (Fixed(*in)) break;
        const uint64_t bytes =
            Sum({Mul(MW, mr), Mul(Mul(1 + m, MR), mw), S, Mul(Sum({P, x, c}), W), Mul(Mul(bw + cw, s), H), xp});
        if (bytes <= in->budget) break;
        if (in->granule && W <= in->hostLines) break;
        const uint64_t before = W--;
        if (before <= 1) break;
    }
    *out = BandPlan{};
    out->bandWidth = W;
    out->bandHeight = H;
    out->maskWidth = MW;
    out->maskHeight = MR;
    out->planeBytes = Mul(P, W);
    out->conversionBytes = Add(Mul(x, W), xp);
    out->colorOutBytes = Mul(c, W);
    out->maskOutBytes = Mul(MW, mr);
    out->colorMinimum = S;
}

uint64_t BandPlanesLayOut(BandLayout* layout, uint32_t width, uint32_t height, bool keepStrides, uint8_t* base,
                          uint64_t capacity)
{
    const POINT job = {static_cast<LONG>(layout->jobResolution[0]), static_cast<LONG>(layout->jobResolution[1])};
    const POINT size = {static_cast<LONG>(std::min<uint32_t>(width, INT32_MAX)),
                        static_cast<LONG>(std::min<uint32_t>(height, INT32_MAX))};
    uint64_t offset = 0;
    for (uint32_t i = 0; i < PlaneCount(layout); ++i) {
        const ImxPlaneFormat& format = layout->planeConfig.planes[i];
        ImxPlane& plane = layout->band.planes[i];
        const POINT resolution = {static_cast<LONG>(std::min<uint32_t>(format.xResolution, INT32_MAX)),
                                  static_cast<LONG>(std::min<uint32_t>(format.yResolution, INT32_MAX))};
        POINT scaled{};
        if (!PointScale(&job, &size, &resolution, &scaled)) scaled = POINT{0, 0};
        plane.width = static_cast<uint32_t>(std::max<LONG>(scaled.x, 0));
        plane.height = static_cast<uint32_t>(std::max<LONG>(scaled.y, 0));
        if (plane.depth == 0) {
            plane.stride = 0;
            plane.data = nullptr;
            continue;
        }
        if (!keepStrides) plane.stride = static_cast<uint32_t>(Down4((uint64_t{plane.depth} * plane.width + 31) / 8));
        uint64_t bytes = uint64_t{plane.height} * plane.stride;
        if (base != nullptr) {
            // Never past the planned plane bytes: a plane that would not fit keeps the rows that do.
            if (offset + bytes > capacity) {
                plane.height = plane.stride == 0 ? 0 : static_cast<uint32_t>((capacity - offset) / plane.stride);
                bytes = uint64_t{plane.height} * plane.stride;
            }
            plane.data = base + offset;
        }
        offset = Add(offset, bytes);
    }
    return offset;
}

int BandSetup(BandMemory* memory, const uint32_t jobResolution[2], const ImxImageFormat* config,
              uint32_t secondSurfaces, BandIterator* iterator, BandLayout* layout)
{
    if (memory == nullptr || memory->job == nullptr || jobResolution == nullptr || iterator == nullptr ||
        layout == nullptr)
        return 0;
    OutputModuleContext* job = memory->job;

    // The module's limits.
    uint32_t planeLimit = 0;
    uint32_t answerSize = sizeof(planeLimit);
    if (DeviceQueryAsk(job, DEVICE_QUERY_PLANE_LIMIT, 0, nullptr, &answerSize, &planeLimit) != 0) return 0;
    uint32_t bandLines[2] = {0, 0};
    if (job->caps & IMO_CAPS_BAND_HEIGHT) {
        answerSize = sizeof(bandLines);
        if (DeviceQueryAsk(job, DEVICE_QUERY_BAND_LINES, 0, nullptr, &answerSize, bandLines) != 0) return 0;
    }
    const uint32_t hostLines = bandLines[1];
    const bool granule = hostLines != 0 && (bandLines[0] & 1) != 0;
    const uint32_t minimum = hostLines != 0 ? hostLines : kDefaultMinimumLines;

    std::memset(layout, 0, sizeof(*layout));
    if (iterator->direction > 3) return 0;  // no walk order for it
    if (jobResolution[0] == 0 || jobResolution[1] == 0 || jobResolution[0] > INT32_MAX || jobResolution[1] > INT32_MAX)
        return 0;
    layout->pageSize[0] = iterator->pageSize[0];
    layout->pageSize[1] = iterator->pageSize[1];
    layout->orientation = iterator->direction;
    layout->mirror = iterator->mirror;
    if (config != nullptr) layout->planeConfig = *config;
    if (layout->planeConfig.planeCount > IMX_MAX_PLANES) return 0;
    layout->jobResolution[0] = jobResolution[0];
    layout->jobResolution[1] = jobResolution[1];
    layout->band.formatId = layout->planeConfig.formatId;
    layout->band.planeCount = layout->planeConfig.planeCount;

    // Resolutions: the job's first, then each new one; Rx and Ry the largest met.
    layout->resolutions[0] = {jobResolution[0], jobResolution[1]};
    uint32_t count = 1;
    int64_t maxX = jobResolution[0], maxY = jobResolution[1];
    for (uint32_t i = 0; i < layout->planeConfig.planeCount; ++i) {
        ImxPlaneFormat& format = layout->planeConfig.planes[i];
        layout->band.planes[i].colorantId = format.colorantId;
        layout->band.planes[i].depth = static_cast<uint8_t>(format.depth);
        if (format.xResolution == 0) format.xResolution = jobResolution[0];
        if (format.yResolution == 0) format.yResolution = jobResolution[1];
        if (format.xResolution > INT32_MAX || format.yResolution > INT32_MAX) return 0;
        uint32_t index = 0;
        while (index < count && (layout->resolutions[index].x != format.xResolution ||
                                 layout->resolutions[index].y != format.yResolution))
            ++index;
        if (index == count) {
            if (count == BAND_MAX_RESOLUTIONS) return 0;
            layout->resolutions[count++] = {format.xResolution, format.yResolution};
        }
        layout->planeResolutionIndex[i] = index;
        maxX = std::max<int64_t>(maxX, format.xResolution);
        maxY = std::max<int64_t>(maxY, format.yResolution);
    }
    layout->resolutionCount = count == 1 ? 0 : count;

    BandPlanInputs in{};
    in.jobX = jobResolution[0];
    in.jobY = jobResolution[1];
    in.maxX = static_cast<uint64_t>(maxX);
    in.maxY = static_cast<uint64_t>(maxY);
    in.budget = memory->budget;
    in.planeLimit = planeLimit;
    in.hostLines = hostLines;
    in.granule = granule;
    in.bytesPerPixel = std::max<uint64_t>(layout->planeConfig.colorBits, 24) / 8;
    in.second = secondSurfaces != 0 ? 1 : 0;
    in.multiResolution = layout->resolutionCount != 0 ? 1 : 0;
    in.alignment = (job->caps & IMO_CAPS_TRIM_ALIGN) && job->scale[3] > 0 ? static_cast<uint64_t>(job->scale[3]) : 0;
    in.rectWidth = RectExtent(iterator->pageRect.left, iterator->pageRect.right);
    in.rectHeight = RectExtent(iterator->pageRect.top, iterator->pageRect.bottom);
    in.pageWidth = iterator->pageSize[0];
    in.pageHeight = iterator->pageSize[1];

    BandPlan plan{};
    const bool quarter = iterator->direction == 2 || iterator->direction == 3;
    if (quarter) BandPlanQuarterTurn(&in, layout, &plan);
    else if (iterator->direction == 0 && iterator->mirror == 0) BandPlanUpright(&in, layout, &plan);
    else BandPlanHalfTurn(&in, layout, &plan);
    const uint64_t planned = quarter ? plan.bandWidth : plan.bandHeight;
    if (planned < minimum) {
        // A page too short for the minimum band is the page's fault; a page that has the lines
        // but a budget that cannot hold them is a lack of memory the caller chose, and must not
        // be reported as a damaged stream.
        const uint64_t pageLines = quarter ? in.pageWidth : in.pageHeight;
        if (!Fixed(in) && pageLines >= minimum) {
            LogEvent(IMX_LOG_ERROR, "BandSetup",
                     "the band budget of %u bytes holds %llu lines of this %ux%u page side; a band needs at least %u",
                     memory->budget, static_cast<unsigned long long>(planned), iterator->pageSize[0],
                     iterator->pageSize[1], minimum);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
        return 0;
    }
    if (plan.bandWidth > INT32_MAX || plan.bandHeight > INT32_MAX || plan.maskWidth > INT32_MAX ||
        plan.maskHeight > INT32_MAX)
        return 0;
    layout->bandSize[0] = static_cast<uint32_t>(plan.bandWidth);
    layout->bandSize[1] = static_cast<uint32_t>(plan.bandHeight);

    // Planes are laid out as the module receives them: a quarter-turned band is as wide as the
    // page is high, so its planes take the turned size (the planner's strides already follow the
    // turned line). Rounding in the per-line estimate may leave the layout a few bytes above it;
    // the buffer holds the larger, so that no band begin writes past it.
    const uint32_t planeWidth = quarter ? layout->bandSize[1] : layout->bandSize[0];
    const uint32_t planeHeight = quarter ? layout->bandSize[0] : layout->bandSize[1];
    const uint64_t planeBytes =
        std::max(plan.planeBytes, BandPlanesLayOut(layout, planeWidth, planeHeight, true, nullptr, 0));

    const uint64_t need = Sum({planeBytes, plan.conversionBytes, plan.colorOutBytes, plan.maskOutBytes});
    if (need > UINT32_MAX || plan.colorMinimum > UINT32_MAX) return 0;
    if (memory->workCapacity < need) {
        auto* grown = static_cast<uint8_t*>(RenderAlloc(static_cast<size_t>(need)));
        if (grown == nullptr) return 0;
        RenderFree(memory->workBuffer);
        memory->workBuffer = grown;
        memory->workCapacity = static_cast<uint32_t>(need);
    }
    layout->workBase = memory->workBuffer;

    for (uint32_t i = 0; i < PlaneCount(layout); ++i) layout->band.planes[i].dataPresent = 1;
    BandPlanesLayOut(layout, planeWidth, planeHeight, true, layout->workBase, planeBytes);
    layout->planeBytes = static_cast<uint32_t>(planeBytes);

    uint8_t* next = layout->workBase + planeBytes;
    if (plan.conversionBytes != 0) {
        layout->conversionOut = next;
        next += plan.conversionBytes;
    }
    if (plan.colorOutBytes != 0) {
        layout->colorOut = next;
        next += plan.colorOutBytes;
        if (layout->conversionOut == nullptr) layout->conversionOut = layout->colorOut;
    }
    if (plan.maskOutBytes != 0) layout->maskOut = next;

    const SIZE bandSize = {static_cast<LONG>(plan.bandWidth), static_cast<LONG>(plan.bandHeight)};
    const SIZE maskSize = {static_cast<LONG>(plan.maskWidth), static_cast<LONG>(plan.maskHeight)};
    bool made = true;
    layout->colorSurface =
        BandSurfaceCreate(BAND_SURFACE_COLOR, bandSize, nullptr, 0, static_cast<uint32_t>(plan.colorMinimum));
    made = layout->colorSurface != nullptr;
    if (made) {
        if (layout->conversionOut == nullptr) layout->conversionOut = layout->colorSurface->bits;
        layout->maskSurface = BandSurfaceCreate(BAND_SURFACE_MASK, maskSize, nullptr, 0, 0);
        made = layout->maskSurface != nullptr;
    }
    if (made && layout->maskOut == nullptr) {
        layout->maskOut = layout->maskSurface->bits;
        layout->colorOut = layout->colorSurface->bits;
    }
    if (made && secondSurfaces != 0) {
        layout->secondColorSurface = BandSurfaceCreate(BAND_SURFACE_COLOR, bandSize, nullptr, 0, 0);
        made = layout->secondColorSurface != nullptr;
        if (made) {
            layout->secondMaskSurface = BandSurfaceCreate(BAND_SURFACE_MASK, bandSize, nullptr, 0, 0);
            made = layout->secondMaskSurface != nullptr;
        }
    }
    if (made && layout->resolutionCount != 0) {
        layout->resolutionMaskSurface = BandSurfaceCreate(BAND_SURFACE_MASK, maskSize, nullptr, 0, 0);
        made = layout->resolutionMaskSurface != nullptr;
    }
    if (!made) {
        BandSurfacesFree(memory, layout);
        layout->maskOut = layout->colorOut = layout->conversionOut = nullptr;
        return 0;
    }
    return 1;
}

void BandSurfacesFree(BandMemory* /*memory*/, BandLayout* layout)
{
    if (layout == nullptr) return;
    for (BandSurface** surface : {&layout->colorSurface, &layout->maskSurface, &layout->secondColorSurface,
                                  &layout->secondMaskSurface, &layout->resolutionMaskSurface}) {
        BandSurfaceDestroy(*surface);
        *surface = nullptr;
    }
}

int StringFormat(char* buffer, size_t size, const char* format, ...)
{
    if (buffer == nullptr || size == 0) return -1;
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(buffer, size, format, arguments);
    va_end(arguments);
    if (written < 0) {
        buffer[0] = '\0';
        return -1;
    }
    return static_cast<size_t>(written) < size ? written : -1;
}
