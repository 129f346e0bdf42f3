// The overlay render call: a form file rendered as a one-page job through a synthetic spool stream
// built around it (records made here, the form's records read from the file), with the job data
// written to a file handle of the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/job/render_call.h"
#include "platform/types.h"

// One piece of the synthetic stream: bytes held in memory, or a range of the form file.
struct StreamSegment {
    uint32_t kind;  // 0 memory, 1 file
    uint32_t streamOffset;  // where the piece begins in the synthetic stream
    uint32_t fileOffset;  // where the piece begins in the file (file pieces)
    uint32_t length;
    const void* data;  // the bytes, or the file handle
};
static_assert(sizeof(StreamSegment) == 24);
static_assert(offsetof(StreamSegment, data) == 16);

inline constexpr uint32_t kStreamSegmentMemory = 0;
inline constexpr uint32_t kStreamSegmentFile = 1;
inline constexpr uint32_t kOverlayMaxSegments = 16;

struct OverlayStream {
    uint32_t position;
    uint8_t signature[8];
    uint8_t version[16];
    uint8_t jobHeader[180];
    uint8_t formBegin[28];
    uint8_t pageBegin[104];
    uint8_t pageEnd[28];
    uint8_t jobEnd[12];
    uint32_t segmentCount;  // 8 without a blob, 11 with one
    uint32_t totalLength;
    StreamSegment segments[kOverlayMaxSegments];
};

// The form id the synthetic stream gives the form, and the page record names.
inline constexpr uint32_t kOverlayFormId = 5;

// Builds the synthetic stream around the form file: 0, 1 when the form-begin record cannot be
// read, 13 when the file holds no form-begin record, 87 when the stream would not fit 2^31 - 1.
uint32_t OverlayStreamBuild(HANDLE file, OverlayStream* stream, const void* blob, uint32_t blobSize);
// The stream callbacks handed to ImeRender.
BOOL OverlayStreamRead(void* stream, void* buffer, uint32_t count, uint32_t* got);
int32_t OverlayStreamSeek(void* stream, int32_t offset, uint32_t mode);
BOOL JobDataFileWrite(void* file, const void* bytes, uint32_t count);

RASTREL_API uint32_t ImeRenderOverlay(const char* moduleFileName, RenderOptions* options, LogContext* log,
                                      const char* formFileName, HANDLE output, const void* blob, uint32_t blobSize);
