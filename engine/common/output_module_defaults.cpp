// The engine's built-in answers: for device questions the module does not answer (or that no
// module is bound to answer) and for the colour and halftone slots a module leaves empty.
#include <cstring>

#include "engine/common/output_module.h"

namespace {

// Built-in answers write only into an output at least as large as the answer; a smaller one gets
// -5 with the size needed, as the sized questions do.
ImxStatus WriteAnswer(uint32_t* outputSize, void* output, const void* answer, uint32_t size)
{
    if (outputSize == nullptr || output == nullptr || *outputSize < size) {
        if (outputSize != nullptr) *outputSize = size;
        return IMX_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(output, answer, size);
    *outputSize = size;
    return IMX_OK;
}

ImxStatus WriteWord(uint32_t* outputSize, void* output, uint32_t value)
{
    return WriteAnswer(outputSize, output, &value, sizeof(value));
}

constexpr uint32_t MASK_PATTERN_ANSWER_SIZE = 16 + 32 * 4;

}  // namespace

ImxStatus DeviceQueryDefault(uint32_t id, uint32_t inputSize, const void* input, uint32_t* outputSize, void* output)
{
    switch (id) {
        case DEVICE_QUERY_CAPS:
        case DEVICE_QUERY_PLANE_LIMIT:
        case DEVICE_QUERY_OPTIONS: return WriteWord(outputSize, output, 0);
        case DEVICE_QUERY_MASK_PATTERN: {
            uint32_t answer[MASK_PATTERN_ANSWER_SIZE / 4] = {MASK_KIND_PATTERN, 32, 32, 4};
            for (uint32_t row = 0; row < 32; ++row) answer[4 + row] = row % 2 == 0 ? 0xAAAAAAAAu : 0x55555555u;
            return WriteAnswer(outputSize, output, answer, sizeof(answer));
        }
        case DEVICE_QUERY_MEDIA: {
            if (outputSize == nullptr || output == nullptr || *outputSize < sizeof(ImoMediaInfo)) {
                if (outputSize != nullptr) *outputSize = sizeof(ImoMediaInfo);
                return IMX_ERR_BUFFER_TOO_SMALL;
            }
            if (input == nullptr || inputSize < sizeof(ImoMediaRequest)) {
                *outputSize = sizeof(ImoMediaInfo);
                return IMX_ERR_ARGUMENT;
            }
            ImoMediaRequest request;
            std::memcpy(&request, input, sizeof(request));
            ImoMediaInfo info{};
            info.feedEdge = IMO_FEEDEDGE_SHORT;
            info.duplexMode = 0;
            info.paperCode = request.paperCode;
            info.mediaFlags = 0;
            info.xResolution = request.xResolution;
            info.yResolution = request.yResolution;
            info.renderedFormat.formatId = OCM_COLOR_BGR24;
            info.renderedFormat.colorBits = 24;
            info.renderedFormat.planeCount = 1;
            info.renderedFormat.planes[0].depth = 24;
            return WriteAnswer(outputSize, output, &info, sizeof(info));
        }
        case DEVICE_QUERY_DUPLEX_VALUE:
        case DEVICE_QUERY_BAND_LINES: {
            const uint32_t zeros[2] = {0, 0};
            return WriteAnswer(outputSize, output, zeros, sizeof(zeros));
        }
        case DEVICE_QUERY_BRUSH_DPI: return WriteWord(outputSize, output, 300);
        case DEVICE_QUERY_SCALE: {
            const int32_t ones[4] = {1, 1, 1, 1};
            return WriteAnswer(outputSize, output, ones, sizeof(ones));
        }
        case DEVICE_QUERY_PEN_DPI: {
            if (input == nullptr || inputSize < 8) return IMX_ERR_ARGUMENT;
            int32_t pair[2];
            std::memcpy(pair, input, sizeof(pair));
            const int32_t smaller = pair[0] < pair[1] ? pair[0] : pair[1];
            return WriteWord(outputSize, output, static_cast<uint32_t>(smaller / 2));
        }
        case DEVICE_QUERY_THIN_LINE: return WriteWord(outputSize, output, 2);
        case DEVICE_QUERY_OVERSTRIKE: return WriteWord(outputSize, output, IMO_OVERSTRIKE_PCT_DEFAULT);
        case DEVICE_QUERY_AREA: {
            const int32_t zeros[4] = {0, 0, 0, 0};
            return WriteAnswer(outputSize, output, zeros, sizeof(zeros));
        }
        case DEVICE_QUERY_ENTRY_LIST: {
            // The list: u32 sheet count, u32 entry count, then the entries.
            if (input == nullptr || inputSize < 8) return IMX_ERR_ARGUMENT;
            uint32_t head[2];
            std::memcpy(head, input, sizeof(head));
            const uint64_t needed = static_cast<uint64_t>(head[1]) * sizeof(SheetEntry) + 8;
            if (needed > UINT32_MAX || inputSize < needed) return IMX_ERR_ARGUMENT;
            return WriteAnswer(outputSize, output, input, static_cast<uint32_t>(needed));
        }
        default: return IMX_ERR_QUERY_UNKNOWN;
    }
}

ImxStatus ColorConvertDefault(ImoInstance, uint32_t formatId, uint8_t* flag, uint32_t kind, const uint8_t* colorBgr0,
                              uint32_t* out)
{
    if (flag != nullptr) *flag = 255;
    if (formatId != OCM_COLOR_BGR24 || kind == 3) return IMX_ERR_UNSUPPORTED;
    std::memcpy(out, colorBgr0, 4);
    return IMX_OK;
}

ImxStatus ImageConvertDefault(ImoInstance, uint32_t, const ImxImage* source, ImxImage* destination)
{
    if (destination->formatId != OCM_COLOR_BGR24 || destination->planeCount != 1 ||
        destination->planes[0].depth != 24 || source->formatId == 3 || source->planeCount < 1)
        return IMX_ERR_UNSUPPORTED;
    const ImxPlane& from = source->planes[0];
    ImxPlane& to = destination->planes[0];
    const uint32_t sourceBytes = from.depth / 8u;
    if (sourceBytes < 3 || from.data == nullptr || to.data == nullptr) return IMX_ERR_UNSUPPORTED;
    const uint32_t width = source->width < destination->width ? source->width : destination->width;
    const uint32_t height = source->height < destination->height ? source->height : destination->height;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = from.data + static_cast<size_t>(y) * from.stride;
        uint8_t* out = to.data + static_cast<size_t>(y) * to.stride;
        for (uint32_t x = 0; x < width; ++x)
            std::memcpy(out + 3 * static_cast<size_t>(x), in + static_cast<size_t>(x) * sourceBytes, 3);
    }
    return IMX_OK;
}

ImxStatus HalftoneColorDefault(ImoInstance, uint32_t formatId, uint8_t* flag, const uint8_t* color, ImxTexture* texture)
{
    if (formatId != OCM_COLOR_BGR24) return IMX_ERR_UNSUPPORTED;
    if (flag != nullptr) *flag = 255;
    std::memset(texture, 0, sizeof(*texture));
    texture->formatId = OCM_COLOR_BGR24;
    texture->planeCount = 1;
    ImxPlane& plane = texture->planes[0];
    plane.depth = 24;
    plane.flags = IMX_PLANE_SOLID;
    plane.dataPresent = 1;
    std::memcpy(&plane.solidValue, color, sizeof(plane.solidValue));
    return IMX_OK;
}

ImxStatus HalftoneImageDefault(ImoInstance, uint32_t, const ImxImage* source, ImxTexture* texture)
{
    if (source->formatId != OCM_COLOR_BGR24 || source->planeCount != 1 || source->planes[0].depth != 24)
        return IMX_ERR_UNSUPPORTED;
    std::memset(texture, 0, sizeof(*texture));
    texture->formatId = source->formatId;
    texture->x = source->x;
    texture->y = source->y;
    texture->planeCount = 1;
    texture->planes[0] = source->planes[0];
    texture->planes[0].flags |= IMX_PLANE_BORROWED;  // lent by the caller, never freed with the texture
    texture->planes[0].dataPresent = 1;
    return IMX_OK;
}
