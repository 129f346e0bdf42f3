// A plug-in method for the error-diffusion service: its context records which slots were called
// and with what, so the tests can see the service call through them.
#include <cstdint>
#include <cstdlib>

#include "rastrel/imx_errdiff.h"

namespace {

struct FakeEts {
    ImxErrDiffContext head;
    uint32_t configured;
    uint32_t images;
};

void* lastLoadFirst = nullptr;
void* lastLoadSecond = nullptr;
int destroyed = 0;

ImxStatus Configure(ImxErrDiffContext* context, const ImxErrDiffConfig* config)
{
    reinterpret_cast<FakeEts*>(context)->configured = config->lineWidth;
    return config->lineWidth == 13 ? IMX_ERR_UNSUPPORTED : IMX_OK;  // 13: a configuration it refuses
}

ImxStatus Image(ImxErrDiffContext* context, const ImxImage*, ImxImage*)
{
    return static_cast<ImxStatus>(++reinterpret_cast<FakeEts*>(context)->images);
}

void Destroy(ImxErrDiffContext* context)
{
    ++destroyed;
    std::free(context);
}

ImxStatus LoadConfig(void* first, void* second)
{
    lastLoadFirst = first;
    lastLoadSecond = second;
    return 7;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) ImxErrDiffContext* ImxErrDiffETSCreate(void)
{
    auto* ets = static_cast<FakeEts*>(std::calloc(1, sizeof(FakeEts)));
    if (!ets) return nullptr;
    ets->head.methodId = IMX_ERRDIFF_METHOD_ETS;
    ets->head.configure = Configure;
    ets->head.destroy = Destroy;
    ets->head.image = Image;
    ets->head.loadConfig = LoadConfig;
    return &ets->head;
}

extern "C" __attribute__((visibility("default"))) int FakeEtsDestroyed() { return destroyed; }
extern "C" __attribute__((visibility("default"))) void* FakeEtsLoadArgument(int which)
{
    return which == 0 ? lastLoadFirst : lastLoadSecond;
}
