#include "engine/common/output_module.h"

#include <cstring>

#include "engine/common/render_heap.h"
#include "platform/kernel.h"

// The last system error of a failed binding step; never 0, so that a failure is never taken
// for success.
// GetProcAddress hands back a generic function address; the export's own type is ours to know.
template <typename Fn>
static Fn ExportLookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

static uint32_t BindingError(uint32_t fallback)
{
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

uint32_t OutputModuleLoad(OutputModuleContext* context, TextureCache* cache, const char* configuration,
                          const char* moduleFileName, ImeWriteCallback write, void* writeArgument)
{
    std::memset(context, 0, sizeof(*context));
    context->textureCache = cache;
    context->write = write;
    context->writeArgument = writeArgument;
    for (int32_t& value : context->scale) value = 1;
    if (moduleFileName == nullptr) return 0;

    HMODULE module = LoadLibraryA(moduleFileName);
    if (module == nullptr) return BindingError(ERROR_MOD_NOT_FOUND);
    auto deinitialize = ExportLookup<ImoDeinitializeFn>(module, "ImoDeinitialize");
    if (deinitialize == nullptr) {
        const uint32_t error = BindingError(ERROR_PROC_NOT_FOUND);
        FreeLibrary(module);
        return error;
    }
    auto initialize = ExportLookup<ImoInitializeFn>(module, "ImoInitialize");
    if (initialize == nullptr) {
        const uint32_t error = BindingError(ERROR_PROC_NOT_FOUND);
        FreeLibrary(module);
        return error;
    }
    context->module = module;
    context->deinitialize = deinitialize;
    context->initialize = initialize;
    const ImxStatus result = initialize(configuration, context, &context->slots, &context->instance);
    if (result != 0) {
        // A module that failed to come up is not deinitialised and none of its slots is called.
        FreeLibrary(module);
        context->module = nullptr;
        context->deinitialize = nullptr;
        context->initialize = nullptr;
        context->instance = nullptr;
        std::memset(&context->slots, 0, sizeof(context->slots));
        return static_cast<uint32_t>(result);
    }
    return 0;
}

void OutputModuleUnload(OutputModuleContext* context)
{
    if (context->deinitialize != nullptr) context->deinitialize(context->instance);
    RenderFree(context->maskPattern);
    RenderFree(context->entryList);
    if (context->module != nullptr) FreeLibrary(context->module);
    context->maskPattern = nullptr;
    context->entryList = nullptr;
    context->module = nullptr;
    context->deinitialize = nullptr;
    context->initialize = nullptr;
    context->instance = nullptr;
    std::memset(&context->slots, 0, sizeof(context->slots));
}

// ---- Colour conversions through the slots ----

static ImxStatus PixelConvert(OutputModuleContext* context, uint32_t formatId, uint8_t* flag, COLORREF color,
                              uint32_t* out)
{
    const uint8_t bgr0[4] = {static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(color >> 8),
                             static_cast<uint8_t>(color), 0};
    if (context->slots.ColorConvertPixel != nullptr)
        return context->slots.ColorConvertPixel(context->instance, formatId, flag, 1, bgr0, out);
    return ColorConvertDefault(context->instance, formatId, flag, 1, bgr0, out);
}

bool ColorConvert(OutputModuleContext* context, uint32_t formatId, uint8_t* flag, COLORREF color, uint32_t* out)
{
    return PixelConvert(context, formatId, flag, color, out) == 0;
}

bool ColorsConvert(OutputModuleContext* context, uint32_t formatId, uint8_t* flag, uint32_t count, uint32_t* colors)
{
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t converted = 0;
        if (PixelConvert(context, formatId, flag, colors[i], &converted) != 0) return false;
        colors[i] = converted;
    }
    return true;
}

bool ImageConvert(OutputModuleContext* context, const ImxImageFormat* targetFormat, uint32_t flag, uint32_t sourceKind,
                  const uint8_t* sourceBits, uint32_t sourceStride, const uint32_t size[2], uint8_t* destinationBuffer,
                  uint8_t** destinationBits, uint32_t* destinationStride)
{
    ImxImage source{};
    source.formatId = sourceKind;
    source.width = size[0];
    source.height = size[1];
    source.planeCount = 1;
    source.planes[0].depth = sourceKind == 1 ? 24 : 32;
    source.planes[0].dataPresent = 1;
    source.planes[0].width = size[0];
    source.planes[0].height = size[1];
    source.planes[0].stride = sourceStride;
    source.planes[0].data = const_cast<uint8_t*>(sourceBits);

    // The converted image holds one colour of the format per pixel (colorBits: 8 for grey); the
    // planes' depths are what halftoning makes of it later, 1 bit for a fax page.
    const uint32_t depth = targetFormat->colorBits;
    if (depth == 0 || depth > 32) return false;
    const uint64_t stride = (static_cast<uint64_t>(size[0]) * depth + 31) / 32 * 4;
    if (stride > UINT32_MAX) return false;
    ImxImage destination{};
    destination.formatId = targetFormat->formatId;
    destination.width = size[0];
    destination.height = size[1];
    destination.planeCount = 1;
    destination.planes[0].colorantId = targetFormat->planes[0].colorantId;
    destination.planes[0].depth = static_cast<uint8_t>(depth);
    destination.planes[0].dataPresent = 1;
    destination.planes[0].width = size[0];
    destination.planes[0].height = size[1];
    destination.planes[0].stride = static_cast<uint32_t>(stride);
    destination.planes[0].data = destinationBuffer;

    const ImxStatus result = context->slots.ColorConvertImage != nullptr
                                 ? context->slots.ColorConvertImage(context->instance, flag, &source, &destination)
                                 : ImageConvertDefault(context->instance, flag, &source, &destination);
    if (result != 0) return false;
    if (destinationBits != nullptr) *destinationBits = destinationBuffer;
    if (destinationStride != nullptr) *destinationStride = static_cast<uint32_t>(stride);
    return true;
}
