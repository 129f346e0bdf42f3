// The Imx services that Rastrel exports to the output module and to other modules: basic
// services (memory, job-data writes, event log, processor capabilities, texture memory) and the
// JBIG encoder. The ImeExt names are second names of the basic services: the same entry points.
#pragma once

#include <cstdint>

#include "rastrel/api.h"
#include "rastrel/imx_types.h"

// The first argument of the basic services is the caller's host handle: the engine's
// OutputModuleContext, handed to the output module at ImoInitialize.
RASTREL_API void* ImxAlloc(void* context, uint32_t size);
RASTREL_API void ImxFree(void* context, void* block);
RASTREL_API ImxStatus ImxJobDataWrite(void* context, const void* bytes, uint32_t length);
RASTREL_API void ImxLogEvent(uint32_t level, const char* function, const char* format, ...);
RASTREL_API uint32_t ImxCpuCapsGet(void);
RASTREL_API void* ImxTextureAlloc(void* context, uint32_t size);
RASTREL_API void ImxTextureFree(void* context, void* block);

RASTREL_API void* ImeExtAlloc(void* context, uint32_t size);
RASTREL_API void ImeExtFree(void* context, void* block);
RASTREL_API ImxStatus ImeExtJobDataWrite(void* context, const void* bytes, uint32_t length);
RASTREL_API void ImeExtLogEvent(uint32_t level, const char* function, const char* format, ...);
RASTREL_API void* ImeExtTextureAlloc(void* context, uint32_t size);
RASTREL_API void ImeExtTextureFree(void* context, void* block);

// Event levels of ImxLogEvent.
inline constexpr uint32_t IMX_LOG_ERROR = 1;
inline constexpr uint32_t IMX_LOG_WARNING = 2;

// JBIG (T.82) encoder: sequential, one layer, one plane, two-line template, optional typical
// prediction. Coded bytes go to the caller through buffers it supplies with the output callback:
// called with a null buffer and size 0 at the first write of every image (hand back a buffer and
// its capacity), with a full buffer and its capacity, and at ImxJBIGImageEnd with the last buffer
// and its fill count. The callback consumes the bytes before it returns and may hand back the
// same buffer every time.
struct ImxJBIGEncoder;
typedef void (*ImxJBIGOutputCallback)(void* argument, uint8_t** buffer, uint32_t* size);

// Options of ImxJBIGEncoderInit.
inline constexpr uint32_t IMX_JBIG_NO_TYPICAL_PREDICTION = 0x1;

// Returns the encoder, or null when an allocation failed. maxWidth bounds every image's width.
RASTREL_API ImxJBIGEncoder* ImxJBIGEncoderInit(uint32_t maxWidth, uint32_t options, ImxJBIGOutputCallback callback,
                                               void* argument);
// size = {width XD, height YD}; linesPerStripe = L0. Writes the image header. Returns 0, or -4
// when a size is 0 or the width exceeds the encoder's maximum width.
RASTREL_API ImxStatus ImxJBIGImageBegin(ImxJBIGEncoder* encoder, const uint32_t size[2], uint32_t linesPerStripe);
// Codes lineCount lines of (XD + 7) / 8 bytes, stride bytes apart; null bytes stand for white
// lines. Lines beyond the image height are ignored.
RASTREL_API ImxStatus ImxJBIGImageBandAdd(ImxJBIGEncoder* encoder, const uint8_t* bytes, uint32_t lineCount,
                                          uint32_t stride);
// Codes missing lines as white, closes the open stripe and hands the last buffer over.
RASTREL_API ImxStatus ImxJBIGImageEnd(ImxJBIGEncoder* encoder);
RASTREL_API void ImxJBIGEncoderDeinit(ImxJBIGEncoder* encoder);
