// The exported error-diffusion operations: each calls through the context's slot for it.
#include <cstring>

#include "engine/services/error_diffusion_amt.h"
#include "platform/kernel.h"
#include "rastrel/imx.h"
#include "rastrel/imx_errdiff.h"

namespace {

void LogEmptySlot(const char* function, const ImxErrDiffContext* context)
{
    ImxLogEvent(IMX_LOG_ERROR, function, "Invalid method in context; edM: %d",
                context ? static_cast<int>(context->methodId) : -1);
}

}  // namespace

RASTREL_API ImxErrDiffContext* ImxErrDiffCreate(uint32_t methodId, HMODULE module, const ImxErrDiffConfig* config)
{
    ImxErrDiffCreateFn create = nullptr;
    if (methodId == IMX_ERRDIFF_METHOD_AMT) {
        create = ImxErrDiffAMTCreate;
    } else if (methodId == IMX_ERRDIFF_METHOD_ETS) {
        create = FaxProcCast<ImxErrDiffCreateFn>(GetProcAddress(module, IMX_ERRDIFF_ETS_CREATE));
        if (!create) {
            ImxLogEvent(IMX_LOG_ERROR, __func__, "Could not locate ImxErrDiffETSCreate in module %p; err: %d",
                        static_cast<void*>(module), static_cast<int>(GetLastError()));
            return nullptr;
        }
    } else {
        return nullptr;
    }
    ImxErrDiffContext* context = create();
    if (!context || !config) return context;
    if (context->configure && ImxErrDiffConfigure(context, config) == IMX_OK) return context;
    // A context that cannot be configured is of no use to the caller, who asked for a configured one.
    if (context->destroy) context->destroy(context);
    return nullptr;
}

RASTREL_API ImxStatus ImxErrDiffConfigure(ImxErrDiffContext* context, const ImxErrDiffConfig* config)
{
    if (!context || !config) return IMX_ERR_ARGUMENT;
    std::memcpy(&context->format, &config->format, sizeof context->format);
    if (!context->configure) {
        LogEmptySlot(__func__, context);
        return IMX_ERR_UNSUPPORTED;
    }
    return context->configure(context, config);
}

RASTREL_API ImxStatus ImxErrDiffImage(ImxErrDiffContext* context, const ImxImage* source, ImxImage* destination)
{
    if (!context || !context->image) {
        LogEmptySlot(__func__, context);
        return IMX_ERR_UNSUPPORTED;
    }
    return context->image(context, source, destination);
}

RASTREL_API void ImxErrDiffDestroy(ImxErrDiffContext* context)
{
    if (!context || !context->destroy) {
        LogEmptySlot(__func__, context);
        return;
    }
    context->destroy(context);
}

RASTREL_API ImxStatus ImxErrDiffLoadConfig(ImxErrDiffContext* context, void* first, void* second)
{
    if (!context || !context->loadConfig) {
        LogEmptySlot(__func__, context);
        return IMX_ERR_UNSUPPORTED;
    }
    return context->loadConfig(first, second);
}
