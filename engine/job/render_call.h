// The render call: one call of ImeRender renders one job on the caller's thread (its heap is
// engine/common/render_heap.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/common/output_module.h"
#include "engine/common/render_options.h"
#include "platform/types.h"
#include "rastrel/api.h"

struct SpoolProgress;
struct LogContext;

// The host's stream callbacks. read: non-zero on success, *got = bytes delivered. seek: the new
// position or a negative value; mode 0 from the start, 1 from the current position, 2 from the end.
typedef BOOL (*ImeReadCallback)(void* handle, void* buffer, uint32_t count, uint32_t* got);
typedef int32_t (*ImeSeekCallback)(void* handle, int32_t offset, uint32_t mode);

RASTREL_API uint32_t ImeRender(const char* configuration, uint32_t jobNumber, SpoolProgress* progress,
                               const char* moduleFileName, RenderOptions* options, LogContext* log, void* streamHandle,
                               void* writeArgument, ImeReadCallback read, ImeSeekCallback seek, ImeWriteCallback write);
