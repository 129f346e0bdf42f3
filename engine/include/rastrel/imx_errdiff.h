// Error diffusion: planes of 8-bit samples (255 = white) turned into planes of 1 bit (1 = ink).
// A context names its method and carries its operation slots; the exported operations call
// through them. Method 0 (AMT) is built in; method 1 (ETS) comes from a plug-in module that
// exports ImxErrDiffETSCreate and fills the same context head.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "rastrel/api.h"
#include "rastrel/imx_types.h"

inline constexpr uint32_t IMX_ERRDIFF_METHOD_AMT = 0;
inline constexpr uint32_t IMX_ERRDIFF_METHOD_ETS = 1;

// What a context is configured for: the widest line it diffuses and the 1-bit destination format.
struct ImxErrDiffConfig {
    uint32_t lineWidth;
    ImxImageFormat format;
};
static_assert(sizeof(ImxErrDiffConfig) == 180);
static_assert(offsetof(ImxErrDiffConfig, format) == 4);

struct ImxErrDiffContext;
typedef ImxStatus (*ImxErrDiffConfigureFn)(ImxErrDiffContext* context, const ImxErrDiffConfig* config);
typedef ImxErrDiffContext* (*ImxErrDiffCreateFn)(void);
typedef void (*ImxErrDiffDestroyFn)(ImxErrDiffContext* context);
typedef ImxStatus (*ImxErrDiffImageFn)(ImxErrDiffContext* context, const ImxImage* source, ImxImage* destination);
typedef ImxStatus (*ImxErrDiffLoadConfigFn)(void* first, void* second);

// The head every method's context starts with; the method's own state follows it.
struct ImxErrDiffContext {
    uint32_t methodId;
    ImxImageFormat format;  // the configured destination format
    ImxErrDiffConfigureFn configure;
    ImxErrDiffCreateFn create;
    ImxErrDiffDestroyFn destroy;
    ImxErrDiffImageFn image;
    ImxErrDiffLoadConfigFn loadConfig;
};
static_assert(sizeof(ImxErrDiffContext) == 224);
static_assert(offsetof(ImxErrDiffContext, format) == 4);
static_assert(offsetof(ImxErrDiffContext, configure) == 184);
static_assert(offsetof(ImxErrDiffContext, loadConfig) == 216);

// The plug-in's export that makes an ETS context.
#define IMX_ERRDIFF_ETS_CREATE "ImxErrDiffETSCreate"

// Makes a context of the method (0 AMT, 1 ETS from the module); with a configuration it is also
// configured, and a context that cannot be configured is destroyed. Null on any failure.
RASTREL_API ImxErrDiffContext* ImxErrDiffCreate(uint32_t methodId, HMODULE module, const ImxErrDiffConfig* config);
// Each returns -10 when the context has no such operation.
RASTREL_API ImxStatus ImxErrDiffConfigure(ImxErrDiffContext* context, const ImxErrDiffConfig* config);
RASTREL_API ImxStatus ImxErrDiffImage(ImxErrDiffContext* context, const ImxImage* source, ImxImage* destination);
RASTREL_API void ImxErrDiffDestroy(ImxErrDiffContext* context);
RASTREL_API ImxStatus ImxErrDiffLoadConfig(ImxErrDiffContext* context, void* first, void* second);
