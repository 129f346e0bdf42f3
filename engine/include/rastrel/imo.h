// The output-module interface: the records that cross between Rastrel and a plug-in output
// module, the 20-slot callback table the module fills at ImoInitialize, the device questions the
// engine asks through the DeviceQuery slot, and the flag words of the answers. An output module
// is built separately, so every layout here is fixed and asserted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "rastrel/imx_types.h"

struct OutputModuleContext;  // the engine's host record; the module's handle for the Imx services

// ---- Capability word (DeviceQuery id 1) ----
typedef uint32_t ImoCaps;
inline constexpr ImoCaps IMO_CAPS_TRIM_BAND = 0x1;
inline constexpr ImoCaps IMO_CAPS_REPEAT_SHEET = 0x2;
inline constexpr ImoCaps IMO_CAPS_REPEAT_DOC = 0x4;
inline constexpr ImoCaps IMO_CAPS_OPT_GRAY = 0x8;
inline constexpr ImoCaps IMO_CAPS_HETERO_BANDING = 0x10;
inline constexpr ImoCaps IMO_CAPS_BAND_SKIP = 0x20;
inline constexpr ImoCaps IMO_CAPS_OPT_BW = 0x40;
inline constexpr ImoCaps IMO_CAPS_TRIM_AREA = 0x80;
inline constexpr ImoCaps IMO_CAPS_TRIM_PAGE = 0x100;
inline constexpr ImoCaps IMO_CAPS_MANUAL_DUPLEX = 0x200;
inline constexpr ImoCaps IMO_CAPS_TRIM_LEFT = 0x400;
inline constexpr ImoCaps IMO_CAPS_TRIM_RIGHT = 0x800;
inline constexpr ImoCaps IMO_CAPS_TRIM_TOP = 0x1000;
inline constexpr ImoCaps IMO_CAPS_TRIM_BOTTOM = 0x2000;
inline constexpr ImoCaps IMO_CAPS_TRIM_ALIGN = 0x4000;
inline constexpr ImoCaps IMO_CAPS_BAND_HEIGHT = 0x8000;
inline constexpr ImoCaps IMO_CAPS_TRIM_LIMIT = 0x10000;
inline constexpr ImoCaps IMO_CAPS_ORIENTED_MEDIA = 0x20000;
// A device that makes a job's copies itself when the whole job lies on one sheet.
inline constexpr ImoCaps IMO_CAPS_SINGLE_SHEET_COPIES = 0x40000;

// ---- Options word (DeviceQuery id 4) ----
typedef uint32_t ImoOption;
inline constexpr ImoOption IMO_OPTION_BRUSH_SCALE = 0x1;
inline constexpr ImoOption IMO_OPTION_IMAGE_HINTS = 0x2;
inline constexpr ImoOption IMO_OPTION_PEN_SCALE = 0x4;
inline constexpr ImoOption IMO_OPTION_THINLINE_HINTS = 0x8;
// Sheets are announced to the module as an entry list (DeviceQuery id 14) before rendering.
inline constexpr ImoOption IMO_OPTION_SHEET_LIST = 0x10;

enum ImoFeedEdge : uint32_t {
    IMO_FEEDEDGE_EITHER = 0,
    IMO_FEEDEDGE_SHORT = 1,
    IMO_FEEDEDGE_LONG = 2,
};

enum ImoDuplexMode : uint32_t {
    IMO_DUPLEX_MODE_NORMAL = 0,
    IMO_DUPLEX_MODE_ROTATED = 1,
};

enum ImoManualDuplex : uint32_t {
    IMO_MANUAL_DUPLEX_REVERSE = 1,
    IMO_MANUAL_DUPLEX_BIN = 2,
};

// Media flags of ImoMediaInfo.
enum ImoMediaFlags : uint32_t {
    IMO_MEDIA_MIRRORED = 0x1,
    IMO_MEDIA_COLOR_FORMAT_VALID = 0x2,  // renderedFormat is usable
    IMO_MEDIA_GRAY_FORMAT_VALID = 0x4,  // outputFormat is usable
    IMO_MEDIA_ROTATE180 = 0x8,
};

// How transparent drawing is made; a module's setting only, the engine does not ask for it.
enum ImoTransparencyMode : uint32_t {
    IMO_TRANSPARENCY_MODE_MASK = 0,
    IMO_TRANSPARENCY_MODE_BLEND = 1,
};

enum ImoOverstrikePct : uint32_t {
    IMO_OVERSTRIKE_PCT_DEFAULT = 25,
    IMO_OVERSTRIKE_PCT_MIN = 0,
    IMO_OVERSTRIKE_PCT_MAX = 2000,
};

// ---- Device questions (DeviceQuery slot) ----
enum DeviceQueryId : uint32_t {
    DEVICE_QUERY_CAPS = 1,  // u32 ImoCaps
    DEVICE_QUERY_PLANE_LIMIT = 2,  // u32 device word (plane memory limit at band planning)
    DEVICE_QUERY_MASK_PATTERN = 3,  // u32 kind, i32 width, i32 height, i32 stride, rows
    DEVICE_QUERY_OPTIONS = 4,  // u32 ImoOption
    DEVICE_QUERY_MEDIA = 5,  // ImoMediaRequest in, ImoMediaInfo out
    DEVICE_QUERY_DUPLEX_VALUE = 6,  // 8 bytes, asked with IMO_CAPS_MANUAL_DUPLEX
    DEVICE_QUERY_BRUSH_DPI = 7,  // u32
    DEVICE_QUERY_SCALE = 8,  // 24 bytes in, 4 x i32 out
    DEVICE_QUERY_PEN_DPI = 9,  // two i32 in, u32 out
    DEVICE_QUERY_THIN_LINE = 10,  // u32, asked with IMO_OPTION_THINLINE_HINTS
    DEVICE_QUERY_BAND_LINES = 11,  // u32 flags, u32 lines
    DEVICE_QUERY_OVERSTRIKE = 12,  // u32 per mille
    DEVICE_QUERY_AREA = 13,  // 24 bytes in, 4 x i32 out
    DEVICE_QUERY_ENTRY_LIST = 14,  // u32 sheet count, u32 entry count, entries of 56 bytes
    DEVICE_QUERY_MEDIA_PLACED = 15,  // as 5, for a placed sheet
};

// What the engine asks the module about a sheet (little-endian, 56 bytes).
struct ImoMediaRequest {
    uint32_t sides;  // 0 one side, 1 or 2 two sides
    uint16_t paperCode;
    uint16_t zero;
    uint32_t xResolution;  // dpi
    uint32_t yResolution;
    uint32_t width;  // 1/1000 inch; not above height unless IMO_CAPS_ORIENTED_MEDIA
    uint32_t height;
    char paperName[32];
};
static_assert(sizeof(ImoMediaRequest) == 56);
static_assert(offsetof(ImoMediaRequest, sides) == 0);
static_assert(offsetof(ImoMediaRequest, paperCode) == 4);
static_assert(offsetof(ImoMediaRequest, zero) == 6);
static_assert(offsetof(ImoMediaRequest, xResolution) == 8);
static_assert(offsetof(ImoMediaRequest, yResolution) == 12);
static_assert(offsetof(ImoMediaRequest, width) == 16);
static_assert(offsetof(ImoMediaRequest, height) == 20);
static_assert(offsetof(ImoMediaRequest, paperName) == 24);

// The module's answer about a sheet (368 bytes).
struct ImoMediaInfo {
    uint8_t feedEdge;  // IMO_FEEDEDGE_*
    uint8_t duplexMode;  // IMO_DUPLEX_MODE_*
    uint16_t paperCode;
    uint32_t mediaFlags;  // IMO_MEDIA_*
    uint32_t xResolution;
    uint32_t yResolution;
    ImxImageFormat renderedFormat;  // the colour plane configuration
    ImxImageFormat outputFormat;  // the grey plane configuration
};
static_assert(sizeof(ImoMediaInfo) == 368);
static_assert(offsetof(ImoMediaInfo, feedEdge) == 0);
static_assert(offsetof(ImoMediaInfo, duplexMode) == 1);
static_assert(offsetof(ImoMediaInfo, paperCode) == 2);
static_assert(offsetof(ImoMediaInfo, mediaFlags) == 4);
static_assert(offsetof(ImoMediaInfo, xResolution) == 8);
static_assert(offsetof(ImoMediaInfo, yResolution) == 12);
static_assert(offsetof(ImoMediaInfo, renderedFormat) == 16);
static_assert(offsetof(ImoMediaInfo, outputFormat) == 192);

// One sheet side of the entry list (DeviceQuery id 14), 56 bytes.
struct SheetEntry {
    uint32_t kind;  // bit 0 front, bit 1 back, bit 2 blank
    uint32_t width;  // 1/1000 inch
    uint32_t height;
    uint16_t paperCode;
    uint16_t reserved;
    uint32_t repeat;
    char paperName[32];
    uint32_t firstPage;
};
static_assert(sizeof(SheetEntry) == 56);
static_assert(offsetof(SheetEntry, paperCode) == 12);
static_assert(offsetof(SheetEntry, repeat) == 16);
static_assert(offsetof(SheetEntry, paperName) == 20);
static_assert(offsetof(SheetEntry, firstPage) == 52);

// ---- The callback table ----
// Every slot takes the module's instance first and returns 0 or a failure code. An empty slot is
// skipped by the engine or replaced by its built-in answer.
typedef void* ImoInstance;

typedef ImxStatus (*ImoJobAbortFn)(ImoInstance instance);
typedef ImxStatus (*ImoBandAddFn)(ImoInstance instance, const ImxImage* band);
typedef ImxStatus (*ImoColorConvertPixelFn)(ImoInstance instance, uint32_t formatId, uint8_t* flag, uint32_t kind,
                                            const uint8_t* colorBgr0, uint32_t* out);
typedef ImxStatus (*ImoColorConvertImageFn)(ImoInstance instance, uint32_t flag, const ImxImage* source,
                                            ImxImage* destination);
typedef ImxStatus (*ImoDocBeginFn)(ImoInstance instance, const uint8_t* documentBlock, uint32_t colorJob,
                                   uint32_t headerBits, uint32_t copies, uint32_t oemSize, const void* oemData);
typedef ImxStatus (*ImoDocEndFn)(ImoInstance instance, uint32_t blobSize, const void* blob);
typedef ImxStatus (*ImoBitmapPrepareFn)(ImoInstance instance, const ImxImage* image, uint32_t width);
typedef ImxStatus (*ImoJobBeginFn)(ImoInstance instance, uint32_t jobNumber);
typedef ImxStatus (*ImoJobEndFn)(ImoInstance instance);
typedef ImxStatus (*ImoImageBeginFn)(ImoInstance instance, uint32_t kind, const RECT* destination, uint32_t classBits,
                                     uint32_t blobSize, const void* blob);
typedef ImxStatus (*ImoImageBlankFn)(ImoInstance instance, uint32_t blobSize, const void* blob);
typedef ImxStatus (*ImoImageEndFn)(ImoInstance instance);
typedef ImxStatus (*ImoDeviceQueryFn)(ImoInstance instance, uint32_t id, uint32_t inputSize, const void* input,
                                      uint32_t* outputSize, void* output);
typedef ImxStatus (*ImoSheetBeginFn)(ImoInstance instance, const uint32_t resolution[2], const uint32_t size[2],
                                     uint16_t paperCode, const char* paperName, uint32_t sides, uint32_t repeat);
typedef ImoSheetBeginFn ImoSheetBlankFn;
typedef ImxStatus (*ImoSheetEndFn)(ImoInstance instance);
typedef ImxStatus (*ImoHalftoneImageFn)(ImoInstance instance, uint32_t flag, const ImxImage* source,
                                        ImxTexture* texture);
typedef ImxStatus (*ImoHalftoneColorFn)(ImoInstance instance, uint32_t formatId, uint8_t* flag, const uint8_t* color,
                                        ImxTexture* texture);
typedef ImxStatus (*ImoJobDataFn)(ImoInstance instance, uint32_t size, const void* record);
typedef ImxStatus (*ImoManualDuplexPassFn)(ImoInstance instance, uint32_t pass, uint32_t count, void* reserved);

enum ImoSlot : uint32_t {
    IMO_SLOT_JOB_ABORT = 0,
    IMO_SLOT_BAND_ADD = 1,
    IMO_SLOT_COLOR_CONVERT_PIXEL = 2,
    IMO_SLOT_COLOR_CONVERT_IMAGE = 3,
    IMO_SLOT_DOC_BEGIN = 4,
    IMO_SLOT_DOC_END = 5,
    IMO_SLOT_BITMAP_PREPARE = 6,
    IMO_SLOT_JOB_BEGIN = 7,
    IMO_SLOT_JOB_END = 8,
    IMO_SLOT_IMAGE_BEGIN = 9,
    IMO_SLOT_IMAGE_BLANK = 10,
    IMO_SLOT_IMAGE_END = 11,
    IMO_SLOT_DEVICE_QUERY = 12,
    IMO_SLOT_SHEET_BEGIN = 13,
    IMO_SLOT_SHEET_BLANK = 14,
    IMO_SLOT_SHEET_END = 15,
    IMO_SLOT_HALFTONE_IMAGE = 16,
    IMO_SLOT_HALFTONE_COLOR = 17,
    IMO_SLOT_JOB_DATA = 18,
    IMO_SLOT_MANUAL_DUPLEX_PASS = 19,
    IMO_SLOT_COUNT = 20,
};

struct ImoCallbackTable {
    ImoJobAbortFn JobAbort;
    ImoBandAddFn BandAdd;
    ImoColorConvertPixelFn ColorConvertPixel;
    ImoColorConvertImageFn ColorConvertImage;
    ImoDocBeginFn DocBegin;
    ImoDocEndFn DocEnd;
    ImoBitmapPrepareFn BitmapPrepare;
    ImoJobBeginFn JobBegin;
    ImoJobEndFn JobEnd;
    ImoImageBeginFn ImageBegin;
    ImoImageBlankFn ImageBlank;
    ImoImageEndFn ImageEnd;
    ImoDeviceQueryFn DeviceQuery;
    ImoSheetBeginFn SheetBegin;
    ImoSheetBlankFn SheetBlank;
    ImoSheetEndFn SheetEnd;
    ImoHalftoneImageFn HalftoneImage;
    ImoHalftoneColorFn HalftoneColor;
    ImoJobDataFn JobData;
    ImoManualDuplexPassFn ManualDuplexPass;
};
static_assert(sizeof(ImoCallbackTable) == IMO_SLOT_COUNT * sizeof(void*));
static_assert(offsetof(ImoCallbackTable, JobAbort) == IMO_SLOT_JOB_ABORT * sizeof(void*));
static_assert(offsetof(ImoCallbackTable, DocBegin) == IMO_SLOT_DOC_BEGIN * sizeof(void*));
static_assert(offsetof(ImoCallbackTable, JobBegin) == IMO_SLOT_JOB_BEGIN * sizeof(void*));
static_assert(offsetof(ImoCallbackTable, DeviceQuery) == IMO_SLOT_DEVICE_QUERY * sizeof(void*));
static_assert(offsetof(ImoCallbackTable, HalftoneColor) == IMO_SLOT_HALFTONE_COLOR * sizeof(void*));
static_assert(offsetof(ImoCallbackTable, ManualDuplexPass) == IMO_SLOT_MANUAL_DUPLEX_PASS * sizeof(void*));

// The module's two exports, looked up by name.
typedef ImxStatus (*ImoInitializeFn)(const char* configuration, OutputModuleContext* host, ImoCallbackTable* table,
                                     ImoInstance* instance);
typedef ImxStatus (*ImoDeinitializeFn)(ImoInstance instance);
