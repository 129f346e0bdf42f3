// Shared set-up of the render call's tests: a job in memory, a recording module scripted per test,
// and the slot sequence the module saw, written as text.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/job/render_call.h"
#include "tests/engine/job/fake_module.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

inline const char* FakeSlotName(uint32_t slot)
{
    static const char* const names[] = {"JobAbort",      "BandAdd",       "ColorConvertPixel", "ColorConvertImage",
                                        "DocBegin",      "DocEnd",        "BitmapPrepare",     "JobBegin",
                                        "JobEnd",        "ImageBegin",    "ImageBlank",        "ImageEnd",
                                        "DeviceQuery",   "SheetBegin",    "SheetBlank",        "SheetEnd",
                                        "HalftoneImage", "HalftoneColor", "JobData",           "ManualDuplexPass",
                                        "Deinit"};
    return slot <= FAKE_SLOT_DEINITIALIZE ? names[slot] : "?";
}

// A job: signature, stream version, job header with the given fields, job data records, pages and
// a version-1 job-end record with its blob.
inline std::vector<uint8_t> TestJob(const SpoolFields& header, const std::vector<std::vector<uint8_t>>& jobData = {},
                                    uint32_t pages = 0, const std::vector<uint8_t>& jobEndBlob = {1, 2, 3})
{
    SpoolBuilder builder;
    builder.Signature().StreamVersion(2).JobHeader(header);
    for (const auto& payload : jobData) builder.JobData(payload);
    for (uint32_t i = 0; i < pages; ++i) builder.Page();
    builder.JobEnd({{"v", 1}, {"data", jobEndBlob}});
    return builder.Data();
}

inline BOOL CollectWrite(void* argument, const void* bytes, uint32_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(argument);
    const auto* from = static_cast<const uint8_t*>(bytes);
    out->insert(out->end(), from, from + length);
    return TRUE;
}

struct RenderRun {
    std::unique_ptr<FakeScript> script = std::make_unique<FakeScript>();
    RenderOptions options{};
    MemoryStream stream;
    std::vector<uint8_t> written;
    std::string configuration;

    explicit RenderRun(std::vector<uint8_t> job, bool seekable = true)
    {
        stream.data = std::move(job);
        stream.seekable = seekable;
        options.textureEntries = 256;  // the default pool (32768 entries) is zeroed at every call
        char text[64];
        std::snprintf(text, sizeof(text), "script=%llx",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(script.get())));
        configuration = text;
    }

    // Answer a device question with these bytes.
    template <typename T>
    void Answer(uint32_t id, const T& value)
    {
        FakeAnswer& answer = script->answers[id];
        answer.mode = FAKE_ANSWER_BYTES;
        answer.size = sizeof(T);
        std::memcpy(answer.bytes, &value, sizeof(T));
    }
    void AnswerResult(uint32_t id, int32_t result, uint32_t size = 0)
    {
        script->answers[id].mode = FAKE_ANSWER_RESULT;
        script->answers[id].result = result;
        script->answers[id].size = size;
    }

    uint32_t Run(const char* module = FAKE_MODULE_RECORDING, uint32_t jobNumber = 42)
    {
        return ImeRender(configuration.c_str(), jobNumber, nullptr, module, &options, nullptr, &stream, &written,
                         MemoryStreamRead, stream.seekable ? MemoryStreamSeek : nullptr, CollectWrite);
    }

    // The slots called, device questions left out; DocBegin shows its copies.
    std::string Slots() const
    {
        std::string text;
        for (uint32_t i = 0; i < script->callCount; ++i) {
            const FakeCall& call = script->calls[i];
            if (call.slot == IMO_SLOT_DEVICE_QUERY) continue;
            if (!text.empty()) text += ' ';
            text += FakeSlotName(call.slot);
            if (call.slot == IMO_SLOT_DOC_BEGIN) text += "(" + std::to_string(call.args[2]) + ")";
        }
        return text;
    }

    // The device questions asked, by id, in order.
    std::vector<uint32_t> Questions() const
    {
        std::vector<uint32_t> ids;
        for (uint32_t i = 0; i < script->callCount; ++i)
            if (script->calls[i].slot == IMO_SLOT_DEVICE_QUERY) ids.push_back(script->calls[i].args[0]);
        return ids;
    }

    const FakeCall* FirstCall(uint32_t slot) const
    {
        for (uint32_t i = 0; i < script->callCount; ++i)
            if (script->calls[i].slot == slot) return &script->calls[i];
        return nullptr;
    }
};

// True while the library is mapped into the process.
inline bool LibraryLoaded(const char* path)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}
