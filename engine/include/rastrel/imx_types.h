// The imaging records that cross between Rastrel, its services and the output module: status
// codes, colour format ids, pixel formats, images, planes, textures and data sources. Their
// layouts are fixed (the output module is built separately), so every size and offset is
// asserted below.
#pragma once

#include <cstddef>
#include <cstdint>

// Result of every Imx service and of every output-module slot.
typedef int32_t ImxStatus;

inline constexpr ImxStatus IMX_OK = 0;
inline constexpr ImxStatus IMX_ERR_CONFIG = -1;  // configuration could not be parsed
inline constexpr ImxStatus IMX_ERR_QUERY_UNKNOWN = -2;  // query not answered (unknown query id)
inline constexpr ImxStatus IMX_ERR_NO_MEMORY = -3;  // out of memory, or no halftone set
inline constexpr ImxStatus IMX_ERR_ARGUMENT = -4;  // bad or null argument, input too small
inline constexpr ImxStatus IMX_ERR_BUFFER_TOO_SMALL = -5;  // the needed size is written back
inline constexpr ImxStatus IMX_ERR_WRITE = -6;  // job-data write failed, or job in error
inline constexpr ImxStatus IMX_ERR_UNSUPPORTED = -10;  // unsupported pixel format, empty slot
inline constexpr ImxStatus IMX_ERR_NOT_FOUND = -128;  // resource or table entry not found
inline constexpr ImxStatus IMX_ERR_BAD_MAGIC = -129;  // halftone file has the wrong magic
inline constexpr ImxStatus IMX_ERR_LOAD = -130;  // data source could not be loaded
inline constexpr ImxStatus IMX_ERR_PROFILE = -131;  // colour profile rejected
inline constexpr ImxStatus IMX_ERR_LINK = -132;  // colour link could not be built
inline constexpr ImxStatus IMX_ERR_BITMAP_SETUP = -133;  // bitmap set-up for a transform failed
inline constexpr ImxStatus IMX_ERR_TRANSFORM = -134;  // colour transform failed

// Colour format ids: one bit a format.
typedef uint32_t OcmColorFormat;

inline constexpr OcmColorFormat OCM_COLOR_NONE = 0x0;
inline constexpr OcmColorFormat OCM_COLOR_BGR24 = 0x1;
inline constexpr OcmColorFormat OCM_COLOR_RGB24 = 0x2;
inline constexpr OcmColorFormat OCM_COLOR_BGR32 = 0x4;
inline constexpr OcmColorFormat OCM_COLOR_RGB32 = 0x8;
inline constexpr OcmColorFormat OCM_COLOR_GRAY8 = 0x10;
inline constexpr OcmColorFormat OCM_COLOR_GRAY4 = 0x20;
inline constexpr OcmColorFormat OCM_COLOR_GRAY2 = 0x40;
inline constexpr OcmColorFormat OCM_COLOR_GRAY1 = 0x80;
inline constexpr OcmColorFormat OCM_COLOR_CMY24 = 0x100;
inline constexpr OcmColorFormat OCM_COLOR_CMY3 = 0x200;
inline constexpr OcmColorFormat OCM_COLOR_CMYK32 = 0x1000;
inline constexpr OcmColorFormat OCM_COLOR_CMYK6 = 0x2000;
inline constexpr OcmColorFormat OCM_COLOR_CMYK4 = 0x4000;
inline constexpr OcmColorFormat OCM_COLOR_CMYK7 = 0x8000;
inline constexpr OcmColorFormat OCM_COLOR_CMYK8 = 0x10000;
inline constexpr OcmColorFormat OCM_COLOR_CMYK16 = 0x20000;

// Rendering intents a module's configuration may name; the fax module keeps them without effect.
enum OcmIntent : uint32_t {
    OCM_INTENT_FORCE_OFF = 0,
    OCM_INTENT_SATURATION = 1,
    OCM_INTENT_PERCEPTUAL = 2,
    OCM_INTENT_COLORIMETRIC = 3,
};

inline constexpr uint32_t IMX_MAX_PLANES = 8;

// One plane of a pixel format.
struct ImxPlaneFormat {
    uint32_t colorantId;
    uint32_t flags;  // IMX_PLANE_FORMAT_INVERTED: 255 means no ink
    uint32_t depth;  // bits per pixel: 1, 2, 4, 8, 24 or 32 (read as its low byte)
    uint32_t xResolution;  // 0 = the job's resolution
    uint32_t yResolution;  // 0 = the job's resolution
};
static_assert(sizeof(ImxPlaneFormat) == 20);
static_assert(offsetof(ImxPlaneFormat, colorantId) == 0);
static_assert(offsetof(ImxPlaneFormat, flags) == 4);
static_assert(offsetof(ImxPlaneFormat, depth) == 8);
static_assert(offsetof(ImxPlaneFormat, xResolution) == 12);
static_assert(offsetof(ImxPlaneFormat, yResolution) == 16);

inline constexpr uint32_t IMX_PLANE_FORMAT_INVERTED = 0x1;

// A pixel format (little-endian on the wire; it travels inside ImoMediaInfo).
struct ImxImageFormat {
    OcmColorFormat formatId;
    uint32_t reserved;  // 0 in every format the system builds
    uint32_t colorBits;  // bits of one colour in this format
    uint32_t planeCount;  // 1..8
    ImxPlaneFormat planes[IMX_MAX_PLANES];
};
static_assert(sizeof(ImxImageFormat) == 176);
static_assert(offsetof(ImxImageFormat, formatId) == 0);
static_assert(offsetof(ImxImageFormat, reserved) == 4);
static_assert(offsetof(ImxImageFormat, colorBits) == 8);
static_assert(offsetof(ImxImageFormat, planeCount) == 12);
static_assert(offsetof(ImxImageFormat, planes) == 16);

// Plane flags of ImxPlane.
inline constexpr uint8_t IMX_PLANE_SOLID = 0x1;  // one colour value, held in solidValue; no data
inline constexpr uint8_t IMX_PLANE_BORROWED = 0x2;  // the data belongs to the caller, not the texture
inline constexpr uint8_t IMX_PLANE_BLANK = 0x4;  // no ink anywhere; no data
inline constexpr uint8_t IMX_PLANE_FULL = 0x8;  // full ink; no data

// One plane of an image or texture. Rows run top-down, stride bytes apart; 1-bit pixels are
// packed most significant bit first.
struct ImxPlane {
    uint32_t colorantId;
    uint8_t depth;  // bits per pixel
    uint8_t flags;  // IMX_PLANE_*
    uint8_t reserved0[2];
    uint32_t dataPresent;  // 1 when data holds the plane's pixels (the texture code's use count)
    uint32_t reserved1;  // not interpreted by the services
    union {
        struct {
            uint32_t width;
            uint32_t height;
        };
        uint32_t solidValue;  // with IMX_PLANE_SOLID: the plane's colour value
    };
    uint32_t stride;  // bytes per row
    uint32_t reserved2;
    uint8_t* data;
};
static_assert(sizeof(ImxPlane) == 40);
static_assert(offsetof(ImxPlane, colorantId) == 0);
static_assert(offsetof(ImxPlane, depth) == 4);
static_assert(offsetof(ImxPlane, flags) == 5);
static_assert(offsetof(ImxPlane, dataPresent) == 8);
static_assert(offsetof(ImxPlane, reserved1) == 12);
static_assert(offsetof(ImxPlane, width) == 16);
static_assert(offsetof(ImxPlane, height) == 20);
static_assert(offsetof(ImxPlane, solidValue) == 16);
static_assert(offsetof(ImxPlane, stride) == 24);
static_assert(offsetof(ImxPlane, data) == 32);

// An image: band heads, bitmaps, conversion targets. x and y are its page position (the halftone
// screen phase).
struct ImxImage {
    OcmColorFormat formatId;
    int32_t x;
    int32_t y;
    uint32_t width;
    uint32_t height;
    uint32_t planeCount;
    ImxPlane planes[IMX_MAX_PLANES];
};
static_assert(sizeof(ImxImage) == 344);
static_assert(offsetof(ImxImage, formatId) == 0);
static_assert(offsetof(ImxImage, x) == 4);
static_assert(offsetof(ImxImage, y) == 8);
static_assert(offsetof(ImxImage, width) == 12);
static_assert(offsetof(ImxImage, height) == 16);
static_assert(offsetof(ImxImage, planeCount) == 20);
static_assert(offsetof(ImxImage, planes) == 24);

// A texture: a repeating tile (a halftoned image or flat colour) whose plane data lies in texture
// memory (ImxTextureAlloc).
struct ImxTexture {
    OcmColorFormat formatId;
    int32_t x;
    int32_t y;
    uint32_t planeCount;
    ImxPlane planes[IMX_MAX_PLANES];
};
static_assert(sizeof(ImxTexture) == 336);
static_assert(offsetof(ImxTexture, formatId) == 0);
static_assert(offsetof(ImxTexture, x) == 4);
static_assert(offsetof(ImxTexture, y) == 8);
static_assert(offsetof(ImxTexture, planeCount) == 12);
static_assert(offsetof(ImxTexture, planes) == 16);

// Where a colour profile or a halftone set comes from.
inline constexpr uint32_t IMX_SOURCE_MEMORY = 0;  // pointer: the memory block
inline constexpr uint32_t IMX_SOURCE_RESOURCE = 1;  // pointer: the module handle
inline constexpr uint32_t IMX_SOURCE_FILE = 2;  // pointer: the file path (ANSI)

struct ImxDataSource {
    uint32_t kind;  // IMX_SOURCE_*
    const void* pointer;
    const char* resourceType;  // kind IMX_SOURCE_RESOURCE
    uint32_t resourceId;  // kind IMX_SOURCE_RESOURCE
};
static_assert(sizeof(ImxDataSource) == 32);
static_assert(offsetof(ImxDataSource, kind) == 0);
static_assert(offsetof(ImxDataSource, pointer) == 8);
static_assert(offsetof(ImxDataSource, resourceType) == 16);
static_assert(offsetof(ImxDataSource, resourceId) == 24);
