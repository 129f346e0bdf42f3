// The engine's side of an output module: the host record that binds one module for one render
// call (OutputModuleContext), its loading and release, the device questions with the engine's
// built-in answers, page placement on the device's media, and the colour conversions that go
// through the module's slots.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "rastrel/imo.h"
#include "rastrel/imx_types.h"

struct TextureCache;

// The job-data write callback the host gave to the render call: non-zero on success.
typedef BOOL (*ImeWriteCallback)(void* argument, const void* bytes, uint32_t length);

// A mask pattern (DeviceQuery id 3, kind 0): width, height and stride, then height rows of stride
// bytes directly behind the record.
struct MaskPattern {
    int32_t width;
    int32_t height;
    int32_t stride;
};
static_assert(sizeof(MaskPattern) == 12);
static_assert(offsetof(MaskPattern, width) == 0);
static_assert(offsetof(MaskPattern, height) == 4);
static_assert(offsetof(MaskPattern, stride) == 8);

inline const uint8_t* MaskPatternRows(const MaskPattern* pattern)
{
    return reinterpret_cast<const uint8_t*>(pattern + 1);
}

inline constexpr uint32_t MASK_KIND_PATTERN = 0;  // a pattern follows in the answer
inline constexpr uint32_t MASK_KIND_NONE = 1;  // accepted without a pattern

// One render call's binding of its output module; zeroed at binding. The module gets its address
// as its host handle and passes it back to the Imx services.
struct OutputModuleContext {
    HMODULE module;
    ImoInstance instance;
    TextureCache* textureCache;
    uint32_t caps;  // ImoCaps with the derived bits
    uint32_t options;  // ImoOption (id 4)
    uint32_t thinLineValue;  // id 10
    int32_t scale[4];  // id 8
    int32_t area[4];  // id 13: left, top, right, bottom
    uint32_t jobResolution[2];  // from the job header
    ImoMediaInfo media;  // id 5 or 15
    uint64_t duplexValue;  // id 6
    uint32_t headerBits;  // header flags bits 4 to 6 of the current pass
    uint32_t planeLimit;  // id 2
    uint32_t maskKind;  // first word of the id-3 answer
    MaskPattern* maskPattern;  // owned
    void* writeArgument;
    ImeWriteCallback write;
    ImoDeinitializeFn deinitialize;
    ImoInitializeFn initialize;
    ImoCallbackTable slots;
    uint32_t overstrike;  // per mille, id 12
    void* entryList;  // owned copy of the id-14 answer
};
static_assert(sizeof(OutputModuleContext) == 688);
static_assert(offsetof(OutputModuleContext, module) == 0);
static_assert(offsetof(OutputModuleContext, instance) == 8);
static_assert(offsetof(OutputModuleContext, textureCache) == 16);
static_assert(offsetof(OutputModuleContext, caps) == 24);
static_assert(offsetof(OutputModuleContext, options) == 28);
static_assert(offsetof(OutputModuleContext, thinLineValue) == 32);
static_assert(offsetof(OutputModuleContext, scale) == 36);
static_assert(offsetof(OutputModuleContext, area) == 52);
static_assert(offsetof(OutputModuleContext, jobResolution) == 68);
static_assert(offsetof(OutputModuleContext, media) == 76);
static_assert(offsetof(OutputModuleContext, duplexValue) == 448);
static_assert(offsetof(OutputModuleContext, headerBits) == 456);
static_assert(offsetof(OutputModuleContext, planeLimit) == 460);
static_assert(offsetof(OutputModuleContext, maskKind) == 464);
static_assert(offsetof(OutputModuleContext, maskPattern) == 472);
static_assert(offsetof(OutputModuleContext, writeArgument) == 480);
static_assert(offsetof(OutputModuleContext, write) == 488);
static_assert(offsetof(OutputModuleContext, deinitialize) == 496);
static_assert(offsetof(OutputModuleContext, initialize) == 504);
static_assert(offsetof(OutputModuleContext, slots) == 512);
static_assert(offsetof(OutputModuleContext, overstrike) == 672);
static_assert(offsetof(OutputModuleContext, entryList) == 680);

// Where a sheet lies on the device's media (made by PageFitScale, read by the sheet sequencing
// and the band loops).
struct PagePlacement {
    uint32_t sides;  // 0 one side, 1, 2
    uint8_t duplexMode;
    uint8_t feedEdge;  // 1 short edge, 2 long edge
    uint16_t reserved;
    uint32_t mediaFlags;  // IMO_MEDIA_COLOR_FORMAT_VALID, IMO_MEDIA_GRAY_FORMAT_VALID
    uint16_t paperCode;
    char paperName[32];
    uint16_t reserved2;
    uint32_t resolution[2];  // dpi
    uint32_t sizeMils[2];  // 1/1000 inch
    uint32_t sizePixels[2];
    ImxImageFormat colorFormat;  // valid with IMO_MEDIA_COLOR_FORMAT_VALID
    ImxImageFormat grayFormat;  // valid with IMO_MEDIA_GRAY_FORMAT_VALID
};
static_assert(offsetof(PagePlacement, paperName) == 14);
static_assert(offsetof(PagePlacement, resolution) == 48);
static_assert(offsetof(PagePlacement, colorFormat) == 72);
static_assert(sizeof(PagePlacement) == 424);

// ---- Binding ----
// Zeroes the context, keeps the cache and the write callback, loads the module by file name and
// lets ImoInitialize fill the slots. A null file name binds no module (every slot empty). Returns
// 0, the last system error (126 no library, 127 no export) or ImoInitialize's code.
uint32_t OutputModuleLoad(OutputModuleContext* context, TextureCache* cache, const char* configuration,
                          const char* moduleFileName, ImeWriteCallback write, void* writeArgument);
// ImoDeinitialize, then the owned answers and the library. Safe on a context bound to no module.
void OutputModuleUnload(OutputModuleContext* context);

// ---- Device questions ----
// Asks one question through the slot; an empty slot or -2 gives the built-in answer.
ImxStatus DeviceQueryAsk(OutputModuleContext* context, uint32_t id, uint32_t inputSize, const void* input,
                         uint32_t* outputSize, void* output);
ImxStatus DeviceQueryDefault(uint32_t id, uint32_t inputSize, const void* input, uint32_t* outputSize, void* output);

ImxStatus DeviceFlagsQuery(OutputModuleContext* context);
bool DevicePageQuery(OutputModuleContext* context);
ImxStatus DeviceJobQuery(OutputModuleContext* context, const ImoMediaRequest* request, ImoMediaInfo* copyOut,
                         bool placed);
ImxStatus DeviceEntryListQuery(OutputModuleContext* context, const void* list);
ImxStatus DeviceScaleQuery(OutputModuleContext* context, const int32_t value8[2], const int32_t value16[4],
                           int32_t out[4]);
ImxStatus DeviceAreaQuery(OutputModuleContext* context, const uint32_t extent[2], const RECT* rectangle, RECT* out);
void DeviceExtentAdjust(const OutputModuleContext* context, uint32_t extent[2]);

// The derived capability bits of an id-1 answer.
uint32_t DeviceCapsDerive(uint32_t caps);

// ---- Page placement ----
bool PageFitScale(OutputModuleContext* context, const uint32_t resolution[2], const uint32_t sizePixels[2],
                  uint32_t sidesRequest, uint16_t paperCode, const char* paperName, PagePlacement* placement);
bool PageFitPlace(OutputModuleContext* context, PagePlacement* placement);

// ---- Built-in slot answers ----
ImxStatus ColorConvertDefault(ImoInstance instance, uint32_t formatId, uint8_t* flag, uint32_t kind,
                              const uint8_t* colorBgr0, uint32_t* out);
ImxStatus ImageConvertDefault(ImoInstance instance, uint32_t flag, const ImxImage* source, ImxImage* destination);
ImxStatus HalftoneColorDefault(ImoInstance instance, uint32_t formatId, uint8_t* flag, const uint8_t* color,
                               ImxTexture* texture);
ImxStatus HalftoneImageDefault(ImoInstance instance, uint32_t flag, const ImxImage* source, ImxTexture* texture);

// ---- Colour conversions through the slots ----
bool ColorConvert(OutputModuleContext* context, uint32_t formatId, uint8_t* flag, COLORREF color, uint32_t* out);
bool ColorsConvert(OutputModuleContext* context, uint32_t formatId, uint8_t* flag, uint32_t count, uint32_t* colors);
bool ImageConvert(OutputModuleContext* context, const ImxImageFormat* targetFormat, uint32_t flag, uint32_t sourceKind,
                  const uint8_t* sourceBits, uint32_t sourceStride, const uint32_t size[2], uint8_t* destinationBuffer,
                  uint8_t** destinationBits, uint32_t* destinationStride);
