// What the module tells the engine about the device, the colour-to-gray conversions with the
// user's brightness and contrast, and the halftone slots with their set-up.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "outmodule/pelvane_job.h"
#include "platform/kernel.h"
#include "platform/resources.h"

FAX_DECLARE_RESOURCE_TABLE(PelvaneHalftones);

namespace {

ImoJob* JobOf(ImoInstance instance) { return static_cast<ImoJob*>(instance); }

constexpr uint16_t kWeights[3] = {74, 155, 27};  // red, green, blue; they add up to 256

ImxStatus WordAnswer(uint32_t value, uint32_t* outputSize, void* output)
{
    if (*outputSize < sizeof(uint32_t)) {
        *outputSize = sizeof(uint32_t);
        return IMX_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(output, &value, sizeof value);
    *outputSize = sizeof(uint32_t);
    return IMX_OK;
}

}  // namespace

ImxStatus ImoQuery(ImoInstance instance, uint32_t id, uint32_t inputSize, const void* input, uint32_t* outputSize,
                   void* output)
{
    const ImoJob* job = JobOf(instance);
    switch (id) {
        case DEVICE_QUERY_CAPS:
            // Sheets and documents go out once each: SheetBegin and DocBegin never read the repeat
            // word or the copy count, so claiming to repeat them would lose the copies.
            return WordAnswer(job->config.caps & ~(IMO_CAPS_REPEAT_SHEET | IMO_CAPS_REPEAT_DOC), outputSize, output);
        case DEVICE_QUERY_OPTIONS: return WordAnswer(job->config.options, outputSize, output);
        case DEVICE_QUERY_BRUSH_DPI: return WordAnswer(job->config.brushScaleDpi, outputSize, output);
        case DEVICE_QUERY_PEN_DPI: return WordAnswer(job->config.penScaleDpi, outputSize, output);
        case DEVICE_QUERY_MEDIA: {
            if (*outputSize < sizeof(ImoMediaInfo)) {
                *outputSize = sizeof(ImoMediaInfo);
                return IMX_ERR_BUFFER_TOO_SMALL;
            }
            *outputSize = sizeof(ImoMediaInfo);
            if (inputSize < sizeof(ImoMediaRequest) || input == nullptr) return IMX_ERR_ARGUMENT;
            ImoMediaRequest request;
            std::memcpy(&request, input, sizeof request);
            auto* info = static_cast<ImoMediaInfo*>(output);
            info->feedEdge = static_cast<uint8_t>(job->config.feedEdge);
            info->duplexMode = job->config.duplexMode;
            info->paperCode = request.paperCode;
            info->mediaFlags = job->config.mediaFlags | IMO_MEDIA_GRAY_FORMAT_VALID;
            const bool known = job->resolution[0] != 0;
            info->xResolution = known ? job->resolution[0] : request.xResolution;
            info->yResolution = known ? job->resolution[1] : request.yResolution;
            info->outputFormat = job->halftoneFormat;
            return IMX_OK;
        }
        default: return IMX_ERR_QUERY_UNKNOWN;
    }
}

void ImoGrayTableBuild(uint16_t tables[3][256], int16_t contrast, int16_t brightness)
{
    // Outside -50..50 the curve's divisions would pass through zero.
    const double b = std::clamp<int>(brightness, -50, 50);
    const double c = std::clamp<int>(contrast, -50, 50);
    double t = ((b + 50) / 100) * 2 - 1;
    t = t / (1.001 - std::fabs(t));
    const double exponent = t >= 0 ? 1 / (t + 1) : 1 - t;
    double s = ((c + 50) / 100) * 2 - 1;
    s = s / (1.001 - std::fabs(s));
    for (int plane = 0; plane < 3; ++plane) {
        tables[plane][0] = 0;
        tables[plane][255] = static_cast<uint16_t>(255 * kWeights[plane]);
    }
    for (int i = 1; i <= 254; ++i) {
        const double e = std::pow(i / 255.0, exponent) * 2 - 1;
        const double v = s > 0 ? (s + 1) * e / (std::fabs(e) * s + 1) : e / ((1 - std::fabs(e)) * std::fabs(s) + 1);
        const int f = std::clamp(static_cast<int>((v + 1) * 255 * 0.5 + 0.5), 0, 255);
        for (int plane = 0; plane < 3; ++plane) tables[plane][i] = static_cast<uint16_t>(kWeights[plane] * f);
    }
}

uint8_t ImoGrayOf(const ImoJob* job, uint8_t red, uint8_t green, uint8_t blue)
{
    const uint32_t sum = uint32_t{job->grayTables[0][red]} + job->grayTables[1][green] + job->grayTables[2][blue];
    return static_cast<uint8_t>((sum >> 8) ^ 0xFF);
}

ImxStatus ImoColorConvertPixel(ImoInstance instance, uint32_t, uint8_t* flag, uint32_t, const uint8_t* colorBgr0,
                               uint32_t* out)
{
    if (flag != nullptr) *flag = 255;
    *out = ImoGrayOf(JobOf(instance), colorBgr0[2], colorBgr0[1], colorBgr0[0]);
    return IMX_OK;
}

namespace {

// The alpha bytes of a 4-byte image, one byte a pixel.
void ImoGrayCopyAlpha(const ImxImage* source, ImxImage* destination)
{
    const ImxPlane& from = source->planes[0];
    const ImxPlane& to = destination->planes[0];
    for (uint32_t y = 0; y < source->height; ++y) {
        const uint8_t* in = from.data + static_cast<size_t>(y) * from.stride;
        uint8_t* outRow = to.data + static_cast<size_t>(y) * to.stride;
        for (uint32_t x = 0; x < source->width; ++x, in += 4) outRow[x] = in[3];
    }
}

// B, G, R pixels bytesPerPixel apart into inverted gray.
void ImoGrayConvert(const ImoJob* job, const ImxImage* source, ImxImage* destination, uint32_t bytesPerPixel)
{
    const ImxPlane& from = source->planes[0];
    const ImxPlane& to = destination->planes[0];
    for (uint32_t y = 0; y < source->height; ++y) {
        const uint8_t* in = from.data + static_cast<size_t>(y) * from.stride;
        uint8_t* outRow = to.data + static_cast<size_t>(y) * to.stride;
        for (uint32_t x = 0; x < source->width; ++x, in += bytesPerPixel)
            outRow[x] = ImoGrayOf(job, in[2], in[1], in[0]);
    }
}

}  // namespace

ImxStatus ImoColorConvertImage(ImoInstance instance, uint32_t, const ImxImage* source, ImxImage* destination)
{
    const ImxPlane& from = source->planes[0];
    const ImxPlane& to = destination->planes[0];
    const uint32_t bytesPerPixel = source->formatId == OCM_COLOR_BGR24 ? 3 : 4;
    if (from.data == nullptr || to.data == nullptr) return IMX_ERR_ARGUMENT;
    if (uint64_t{source->width} * bytesPerPixel > from.stride || source->width > to.stride) return IMX_ERR_ARGUMENT;
    if (source->formatId == 3) ImoGrayCopyAlpha(source, destination);
    else ImoGrayConvert(JobOf(instance), source, destination, bytesPerPixel);
    return IMX_OK;
}

ImxStatus ImoHalftoneImage(ImoInstance instance, uint32_t, const ImxImage* source, ImxTexture* texture)
{
    ImoJob* job = JobOf(instance);
    if (job->halftoneSet == nullptr) return IMX_ERR_NO_MEMORY;
    return ImxHalftoneTextureImage(job->halftoneSet, job->host, source, texture);
}

ImxStatus ImoHalftoneColor(ImoInstance instance, uint32_t, uint8_t* flag, const uint8_t* color, ImxTexture* texture)
{
    ImoJob* job = JobOf(instance);
    if (flag != nullptr) *flag = 255;
    if (job->halftoneSet == nullptr) return IMX_ERR_NO_MEMORY;
    return ImxHalftoneTextureColor(job->halftoneSet, job->host, color, texture);
}

ImxStatus HalftoneInit(ImoJob* job, const char* path)
{
    FaxResourceTableLink_PelvaneHalftones();
    ImxHalftoneSet* set = ImxHalftoneCreate();
    if (set == nullptr) {
        ImxLogEvent(IMX_LOG_ERROR, "HalftoneInit", "Could not create gray halftone set");
        return IMX_ERR_NO_MEMORY;
    }
    const ImxHalftoneRequest request = {0, 1};
    if (path != nullptr) {
        const ImxDataSource file = {IMX_SOURCE_FILE, path, nullptr, 0};
        if (ImxHalftoneLoad(set, &file, &job->halftoneFormat, 1, &request) == IMX_OK) {
            job->halftoneSet = set;
            return IMX_OK;
        }
        ImxLogEvent(IMX_LOG_ERROR, "HalftoneInit", "Could not load given halftone file; defaulting; pName: %s", path);
    }
    const uint32_t id = job->resolution[0] == 300 ? 104 : 105;
    const ImxDataSource resource = {IMX_SOURCE_RESOURCE, ImoModuleHandle(), "Halftones", id};
    ImxStatus status = ImxHalftoneLoad(set, &resource, &job->halftoneFormat, 1, &request);
    if (status == IMX_ERR_NOT_FOUND) {
        // The engine finds our resources through the table this library exports; when that export
        // is not reachable, hand it the same bytes from our own table.
        HMODULE module = ImoModuleHandle();
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), "Halftones");
        const void* bytes = found != nullptr ? LockResource(LoadResource(module, found)) : nullptr;
        if (bytes != nullptr) {
            const ImxDataSource memory = {IMX_SOURCE_MEMORY, bytes, nullptr, 0};
            status = ImxHalftoneLoad(set, &memory, &job->halftoneFormat, 1, &request);
        }
    }
    if (status == IMX_OK) {
        job->halftoneSet = set;
        return IMX_OK;
    }
    ImxLogEvent(IMX_LOG_ERROR, "HalftoneInit", "Could not load halftone from resource; uID: %u, err: %d", id, status);
    ImxHalftoneDestroy(set);
    return status;
}
