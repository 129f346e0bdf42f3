// Pelvane, the fax output module: its configuration, the job record every slot receives first,
// the fax block the driver puts in front of each document, and the module's functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pelvane/api.h"
#include "rastrel/imo.h"
#include "rastrel/imx.h"
#include "rastrel/imx_halftone.h"
#include "rastrel/imx_types.h"

inline constexpr uint32_t IMO_PATH_CHARS = 260;

struct ImoConfig {
    uint32_t fileFound;
    uint32_t dpiX;
    uint32_t dpiY;
    uint32_t cmm;
    uint32_t hts;
    uint32_t format;
    uint32_t caps;
    uint32_t feedEdge;
    uint8_t duplexMode;
    uint8_t reserved0[3];
    uint32_t mediaFlags;
    uint32_t options;
    uint32_t manDuplexFlags;
    uint16_t manDuplexBin;
    int16_t contrast;
    int16_t brightness;
    uint16_t reserved1;
    uint32_t errDiff;
    uint32_t transMode;
    uint32_t brushScaleDpi;
    uint32_t penScaleDpi;
    uint32_t intentImage;
    uint32_t intentText;
    uint32_t intentGraphics;
    uint32_t reserved2;
    uint32_t preserveKImage;
    uint32_t preserveKText;
    uint32_t preserveKGraphics;
    uint32_t reserved3;
    char halftone[IMO_PATH_CHARS];
    char profile[IMO_PATH_CHARS];
};
static_assert(offsetof(ImoConfig, duplexMode) == 32);
static_assert(offsetof(ImoConfig, mediaFlags) == 36);
static_assert(offsetof(ImoConfig, manDuplexBin) == 48);
static_assert(offsetof(ImoConfig, contrast) == 50);
static_assert(offsetof(ImoConfig, brightness) == 52);
static_assert(offsetof(ImoConfig, errDiff) == 56);
static_assert(offsetof(ImoConfig, penScaleDpi) == 68);
static_assert(offsetof(ImoConfig, preserveKGraphics) == 96);
static_assert(offsetof(ImoConfig, halftone) == 104);
static_assert(offsetof(ImoConfig, profile) == 364);
static_assert(sizeof(ImoConfig) == 624);

extern const ImoConfig IMO_CONFIG_DEFAULTS;

struct ImoSymbol {
    const char* name;
    uint64_t value;
};
// 59 names ended by a null name, searched in order.
extern const ImoSymbol IMO_SYMBOLS[60];

// The driver's fax block (little-endian); only these fields are read.
inline constexpr uint32_t IMO_OEM_DATA_SIZE = 4278;
inline constexpr uint32_t IMO_OEM_FORMAT = 232;
inline constexpr uint32_t IMO_OEM_HALFTONE_FLAG = 696;
inline constexpr uint32_t IMO_OEM_HALFTONE_PATH = 698;
inline constexpr uint32_t IMO_OEM_HALFTONE_PATH_SIZE = 200;
inline constexpr uint32_t IMO_OEM_X_RESOLUTION = 898;
inline constexpr uint32_t IMO_OEM_Y_RESOLUTION = 900;
inline constexpr uint32_t IMO_OEM_CONTRAST = 902;
inline constexpr uint32_t IMO_OEM_BRIGHTNESS = 904;
inline constexpr uint32_t IMO_OEM_NUMBER_COUNT = 1074;
inline constexpr uint32_t IMO_OEM_EXPECTED_DOCUMENTS = 1076;
inline constexpr uint32_t IMO_OEM_NUMBERS = 1078;
inline constexpr uint32_t IMO_OEM_NUMBER_SIZE = 64;
inline constexpr uint32_t IMO_OEM_MAX_NUMBERS = 50;
static_assert(IMO_OEM_NUMBERS + IMO_OEM_MAX_NUMBERS * IMO_OEM_NUMBER_SIZE == IMO_OEM_DATA_SIZE);

inline constexpr uint32_t IMO_STAGING_SIZE = 2048;
inline constexpr uint32_t IMO_JBIG_BUFFER_SIZE = 32768;

struct ImoJob {
    ImoConfig config;
    ImxJBIGEncoder* encoder;
    uint32_t outputFormat;
    ImxImageFormat halftoneFormat;
    uint16_t grayTables[3][256];  // red, green, blue
    uint32_t stickyError;
    uint32_t sheetCount;
    uint32_t imageCount;
    uint32_t imageBytes;
    uint32_t sheetWidth;
    uint32_t sheetHeight;
    uint32_t resolution[2];
    OutputModuleContext* host;
    ImxHalftoneSet* halftoneSet;
    uint32_t stagingCount;
    uint8_t staging[IMO_STAGING_SIZE];
    uint8_t jbigBuffer[IMO_JBIG_BUFFER_SIZE];
    // The open image: its destination and the next row the encoder expects.
    int32_t imageLeft;
    int32_t imageTop;
    uint32_t imageWidth;
    uint32_t imageHeight;
    uint32_t imageNextRow;
};

// ---- Configuration ----
uint32_t ImoConfigParse(const char* path, const char* section, ImoConfig* config);
// The value of a flag key's text: numbers and symbol names joined by "|" or " ".
uint64_t ImoFlagsParse(const char* text);

// ---- Job table ----
struct ImoJobEntry {
    ImoJob* job;
    uint16_t expected;
    uint16_t finished;
};
inline constexpr uint32_t IMO_JOB_TABLE_SIZE = 1024;
void ImoJobTableClear();
// The entry holding the job, else the first free one (then not yet holding it); null when full.
ImoJobEntry* ImoJobTableFind(ImoJob* job);
void ImoJobTableForget(ImoJob* job);
ImoJobEntry* ImoJobTableEntries();
void ImoJobTableLock();
void ImoJobTableUnlock();

// ---- Job stream ----
uint32_t ImoJobWrite(ImoJob* job, const void* bytes, uint32_t length);
void ImoJobFlush(ImoJob* job);
void ImoJobLine(ImoJob* job, const char* name, const char* text);
void ImoJobLineNumber(ImoJob* job, const char* name, int64_t value);
void ImoJBIGOutput(void* argument, uint8_t** buffer, uint32_t* size);
ImxStatus ImoJobResult(const ImoJob* job);

ImxStatus ImoJobAbort(ImoInstance instance);
ImxStatus ImoBandAdd(ImoInstance instance, const ImxImage* band);
ImxStatus ImoColorConvertPixel(ImoInstance instance, uint32_t formatId, uint8_t* flag, uint32_t kind,
                               const uint8_t* colorBgr0, uint32_t* out);
ImxStatus ImoColorConvertImage(ImoInstance instance, uint32_t flag, const ImxImage* source, ImxImage* destination);
ImxStatus ImoDocBegin(ImoInstance instance, const uint8_t* documentBlock, uint32_t colorJob, uint32_t headerBits,
                      uint32_t copies, uint32_t oemSize, const void* oemData);
ImxStatus ImoDocEnd(ImoInstance instance, uint32_t blobSize, const void* blob);
ImxStatus ImoJobBegin(ImoInstance instance, uint32_t jobNumber);
ImxStatus ImoJobEnd(ImoInstance instance);
ImxStatus ImoImageBegin(ImoInstance instance, uint32_t kind, const RECT* destination, uint32_t classBits,
                        uint32_t blobSize, const void* blob);
ImxStatus ImoImageBlank(ImoInstance instance, uint32_t blobSize, const void* blob);
ImxStatus ImoImageEnd(ImoInstance instance);
ImxStatus ImoQuery(ImoInstance instance, uint32_t id, uint32_t inputSize, const void* input, uint32_t* outputSize,
                   void* output);
ImxStatus ImoSheetBegin(ImoInstance instance, const uint32_t resolution[2], const uint32_t size[2], uint16_t paperCode,
                        const char* paperName, uint32_t sides, uint32_t repeat);
ImxStatus ImoSheetBlank(ImoInstance instance, const uint32_t resolution[2], const uint32_t size[2], uint16_t paperCode,
                        const char* paperName, uint32_t sides, uint32_t repeat);
ImxStatus ImoSheetEnd(ImoInstance instance);
ImxStatus ImoHalftoneImage(ImoInstance instance, uint32_t flag, const ImxImage* source, ImxTexture* texture);
ImxStatus ImoHalftoneColor(ImoInstance instance, uint32_t formatId, uint8_t* flag, const uint8_t* color,
                           ImxTexture* texture);

// ---- Gray and halftones ----
void ImoGrayTableBuild(uint16_t tables[3][256], int16_t contrast, int16_t brightness);
uint8_t ImoGrayOf(const ImoJob* job, uint8_t red, uint8_t green, uint8_t blue);
ImxStatus HalftoneInit(ImoJob* job, const char* path);
// The module's own handle, kept when the library is attached.
HMODULE ImoModuleHandle();

// ---- Exports ----
PELVANE_API ImxStatus ImoInitialize(const char* configuration, OutputModuleContext* host, ImoCallbackTable* table,
                                    ImoInstance* instance);
PELVANE_API ImxStatus ImoDeinitialize(ImoInstance instance);
