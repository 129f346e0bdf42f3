// A scriptable output module for the render call's tests, built as a shared library three times:
// complete, without ImoInitialize (FAKE_NO_INITIALIZE) and without ImoDeinitialize
// (FAKE_NO_DEINITIALIZE). It records every slot call into the test's script.
#include <cstdlib>
#include <cstring>

#include "tests/engine/job/fake_module.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct FakeInstance {
    FakeScript* script;
};

FakeScript* ScriptOf(ImoInstance instance) { return static_cast<FakeInstance*>(instance)->script; }

int32_t Record(ImoInstance instance, uint32_t slot, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0,
               uint32_t e = 0)
{
    FakeScript* script = ScriptOf(instance);
    if (script->callCount < FAKE_MAX_CALLS) script->calls[script->callCount++] = FakeCall{slot, {a, b, c, d, e}};
    return script->slotResults[slot];
}

ImxStatus JobAbort(ImoInstance i) { return Record(i, IMO_SLOT_JOB_ABORT); }
ImxStatus BandAdd(ImoInstance i, const ImxImage* band)
{
    FakeScript* script = ScriptOf(i);
    if (script->bandSink != nullptr) script->bandSink(script->bandUser, band);
    const uint32_t drawn = band->planeCount > 0 ? band->planes[0].dataPresent : 0;
    return Record(i, IMO_SLOT_BAND_ADD, static_cast<uint32_t>(band->y), band->height, drawn);
}
ImxStatus ColorConvertPixel(ImoInstance i, uint32_t formatId, uint8_t* flag, uint32_t kind, const uint8_t* color,
                            uint32_t* out)
{
    *flag = 7;
    std::memcpy(out, color, 4);
    *out ^= 0xFF000000u;
    return Record(i, IMO_SLOT_COLOR_CONVERT_PIXEL, formatId, kind);
}
ImxStatus ColorConvertImage(ImoInstance i, uint32_t flag, const ImxImage*, ImxImage*)
{
    return Record(i, IMO_SLOT_COLOR_CONVERT_IMAGE, flag);
}
ImxStatus DocBegin(ImoInstance i, const uint8_t*, uint32_t colorJob, uint32_t headerBits, uint32_t copies,
                   uint32_t oemSize, const void*)
{
    return Record(i, IMO_SLOT_DOC_BEGIN, colorJob, headerBits, copies, oemSize);
}
ImxStatus DocEnd(ImoInstance i, uint32_t size, const void*) { return Record(i, IMO_SLOT_DOC_END, size); }
ImxStatus BitmapPrepare(ImoInstance i, const ImxImage*, uint32_t width)
{
    return Record(i, IMO_SLOT_BITMAP_PREPARE, width);
}
ImxStatus JobBegin(ImoInstance i, uint32_t jobNumber) { return Record(i, IMO_SLOT_JOB_BEGIN, jobNumber); }
ImxStatus JobEnd(ImoInstance i) { return Record(i, IMO_SLOT_JOB_END); }
uint32_t FirstByte(uint32_t size, const void* blob)
{
    return size > 0 && blob != nullptr ? *static_cast<const uint8_t*>(blob) : 0;
}
ImxStatus ImageBegin(ImoInstance i, uint32_t kind, const RECT*, uint32_t, uint32_t size, const void* blob)
{
    return Record(i, IMO_SLOT_IMAGE_BEGIN, kind, size, FirstByte(size, blob));
}
ImxStatus ImageBlank(ImoInstance i, uint32_t size, const void* blob)
{
    return Record(i, IMO_SLOT_IMAGE_BLANK, size, FirstByte(size, blob));
}
ImxStatus ImageEnd(ImoInstance i) { return Record(i, IMO_SLOT_IMAGE_END); }
ImxStatus DeviceQuery(ImoInstance i, uint32_t id, uint32_t inputSize, const void* input, uint32_t* outputSize,
                      void* output)
{
    Record(i, IMO_SLOT_DEVICE_QUERY, id, inputSize, *outputSize);
    if (id >= FAKE_QUERY_IDS) return IMX_ERR_QUERY_UNKNOWN;
    const FakeAnswer& answer = ScriptOf(i)->answers[id];
    switch (answer.mode) {
        case FAKE_ANSWER_BYTES:
        case FAKE_ANSWER_MEDIA:
            if (*outputSize < answer.size) {
                *outputSize = answer.size;
                return IMX_ERR_BUFFER_TOO_SMALL;
            }
            std::memcpy(output, answer.bytes, answer.size);
            *outputSize = answer.size;
            // The media answer names the paper it was asked for (ImoMediaRequest @4 -> ImoMediaInfo @2).
            if (answer.mode == FAKE_ANSWER_MEDIA && inputSize >= 6 && answer.size >= 4)
                std::memcpy(static_cast<uint8_t*>(output) + 2, static_cast<const uint8_t*>(input) + 4, 2);
            return IMX_OK;
        case FAKE_ANSWER_RESULT: *outputSize = answer.size; return answer.result;
        default: return IMX_ERR_QUERY_UNKNOWN;
    }
}
ImxStatus SheetBegin(ImoInstance i, const uint32_t*, const uint32_t* size, uint16_t paper, const char*, uint32_t sides,
                     uint32_t repeat)
{
    return Record(i, IMO_SLOT_SHEET_BEGIN, sides, repeat, paper, size[0], size[1]);
}
ImxStatus SheetBlank(ImoInstance i, const uint32_t*, const uint32_t* size, uint16_t paper, const char*, uint32_t sides,
                     uint32_t repeat)
{
    return Record(i, IMO_SLOT_SHEET_BLANK, sides, repeat, paper, size[0], size[1]);
}
ImxStatus SheetEnd(ImoInstance i) { return Record(i, IMO_SLOT_SHEET_END); }
ImxStatus HalftoneImage(ImoInstance i, uint32_t, const ImxImage*, ImxTexture*)
{
    return Record(i, IMO_SLOT_HALFTONE_IMAGE);
}
ImxStatus HalftoneColor(ImoInstance i, uint32_t, uint8_t*, const uint8_t*, ImxTexture* texture)
{
    static uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const FakeScript* script = ScriptOf(i);
    for (uint32_t p = 0; p < script->halftonePlanes && p < IMX_MAX_PLANES; ++p) {
        ImxPlane& plane = texture->planes[p];
        plane = ImxPlane{};
        plane.depth = 1;
        plane.flags = script->halftoneFlags[p];
        if (plane.flags != 0) continue;
        plane.flags = IMX_PLANE_BORROWED;
        plane.dataPresent = 1;
        plane.width = 32;
        plane.height = 1;
        plane.stride = 4;
        plane.data = ones;
    }
    if (script->halftonePlanes != 0) texture->planeCount = script->halftonePlanes;
    return Record(i, IMO_SLOT_HALFTONE_COLOR);
}
ImxStatus JobData(ImoInstance i, uint32_t size, const void*) { return Record(i, IMO_SLOT_JOB_DATA, size); }
ImxStatus ManualDuplexPass(ImoInstance i, uint32_t pass, uint32_t count, void*)
{
    return Record(i, IMO_SLOT_MANUAL_DUPLEX_PASS, pass, count);
}

FakeScript* ScriptFromConfiguration(const char* configuration)
{
    if (configuration == nullptr || std::strncmp(configuration, "script=", 7) != 0) return nullptr;
    return reinterpret_cast<FakeScript*>(std::strtoull(configuration + 7, nullptr, 16));
}

}  // namespace

// The variant without ImoInitialize keeps its initialiser under another name: only the lookup fails.
#ifdef FAKE_NO_INITIALIZE
#define FAKE_INITIALIZE ImoStart
#else
#define FAKE_INITIALIZE ImoInitialize
#endif

FAKE_EXPORT ImxStatus FAKE_INITIALIZE(const char* configuration, OutputModuleContext* host, ImoCallbackTable* table,
                                      ImoInstance* instance)
{
    FakeScript* script = ScriptFromConfiguration(configuration);
    if (script == nullptr) return IMX_ERR_CONFIG;
    ++script->initCalls;
    script->host = host;
    if (script->initResult != 0) return script->initResult;
    auto* fake = static_cast<FakeInstance*>(std::calloc(1, sizeof(FakeInstance)));
    if (fake == nullptr) return IMX_ERR_NO_MEMORY;
    fake->script = script;
    const ImoCallbackTable full = {JobAbort,      BandAdd,       ColorConvertPixel, ColorConvertImage,
                                   DocBegin,      DocEnd,        BitmapPrepare,     JobBegin,
                                   JobEnd,        ImageBegin,    ImageBlank,        ImageEnd,
                                   DeviceQuery,   SheetBegin,    SheetBlank,        SheetEnd,
                                   HalftoneImage, HalftoneColor, JobData,           ManualDuplexPass};
    auto* from = reinterpret_cast<void* const*>(&full);
    auto* to = reinterpret_cast<void**>(table);
    for (uint32_t slot = 0; slot < IMO_SLOT_COUNT; ++slot)
        to[slot] = (script->emptySlots >> slot & 1) ? nullptr : from[slot];
    *instance = fake;
    return IMX_OK;
}

#ifndef FAKE_NO_DEINITIALIZE
FAKE_EXPORT ImxStatus ImoDeinitialize(ImoInstance instance)
{
    if (instance == nullptr) return IMX_OK;
    FakeScript* script = ScriptOf(instance);
    ++script->deinitCalls;
    if (script->callCount < FAKE_MAX_CALLS) script->calls[script->callCount++] = FakeCall{FAKE_SLOT_DEINITIALIZE, {}};
    std::free(instance);
    return IMX_OK;
}
#endif
