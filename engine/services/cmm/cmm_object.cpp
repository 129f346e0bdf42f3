// Typed objects, the error state and the memory services of the colour management core.
#include "engine/services/cmm/cmm_object.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMethodAreaSize = CMM_METHOD_SLOTS * sizeof(void*);

struct StatusClass {
    CmmStatus status;
    uint32_t statusClass;
};

constexpr StatusClass kStatusClasses[] = {
    {0x10100000, 1}, {0x10102000, 2}, {0x10103000, 2}, {0x10104000, 2}, {0x10105000, 2}, {0x10106000, 3},
    {0x10107000, 3}, {0x10108000, 3}, {0x10109000, 4}, {0x1010a000, 5}, {0x1010b000, 6}, {0x1010c000, 6},
    {0x1010d000, 9}, {0x1010e000, 9}, {0x1010f000, 9}, {0x10110000, 9}, {0x10300000, 7}, {0x10301000, 7},
    {0x10302000, 7}, {0x10303000, 7}, {0x10304000, 7},
};

CmmLifecycle* LifecycleOf(const CmmObject* handle) { return CmmObjectSlot<CmmLifecycle>(handle, CMM_SLOT_LIFECYCLE); }
CmmConversion* ConversionOf(const CmmObject* handle)
{
    return CmmObjectSlot<CmmConversion>(handle, CMM_SLOT_CONVERSION);
}

}  // namespace

void CmmRaise(CmmGlobals* g, CmmStatus status)
{
    if (g == nullptr) return;
    g->status = status;
    g->raised = 1;
}

uint32_t CmmStatusClass(CmmStatus status)
{
    for (const StatusClass& entry : kStatusClasses)
        if (entry.status == status) return entry.statusClass;
    return 0;
}

void* CmmAlloc(CmmGlobals* g, size_t n)
{
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p == nullptr) CmmRaise(g, CMM_STATUS_NO_MEMORY);
    return p;
}

void CmmFree(void* p)
{
    if (p != nullptr) std::free(p);
}

void CmmCopyBytes(void* destination, const void* source, size_t n)
{
    if (n != 0) std::memmove(destination, source, n);
}

void CmmFillBytes(void* destination, uint8_t value, size_t n)
{
    if (n != 0) std::memset(destination, value, n);
}

void CmmSwapBytes(void* a, void* b, size_t n)
{
    auto* x = static_cast<uint8_t*>(a);
    auto* y = static_cast<uint8_t*>(b);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t t = x[i];
        x[i] = y[i];
        y[i] = t;
    }
}

void CmmObjectInit(CmmObject* handle, CmmObjectType type) { *handle = CmmObject{type, 0, nullptr, nullptr, nullptr}; }

void CmmObjectAllocate(CmmGlobals* g, CmmObject* handle)
{
    handle->block = CmmAlloc(g, kMethodAreaSize + handle->bodySize);
    if (handle->block == nullptr) {
        handle->methods = nullptr;
        handle->body = nullptr;
        return;
    }
    handle->methods = static_cast<void**>(handle->block);
    for (uint32_t i = 0; i < CMM_METHOD_SLOTS; ++i) handle->methods[i] = nullptr;
    handle->body = static_cast<uint8_t*>(handle->block) + kMethodAreaSize;
    CmmFillBytes(handle->body, 0, handle->bodySize);
}

void CmmObjectRelease(CmmGlobals* g, CmmObject* handle)
{
    if (handle == nullptr) return;
    if (handle->block != nullptr) {
        CmmLifecycle* life = LifecycleOf(handle);
        if (life != nullptr && life->destroy != nullptr) life->destroy(g, handle);
        CmmFree(handle->block);
    }
    *handle = CmmObject{};
}

void CmmObjectReattach(CmmGlobals* g, CmmObject* handle)
{
    if (handle == nullptr || handle->block == nullptr) return;
    handle->methods = static_cast<void**>(handle->block);
    handle->body = static_cast<uint8_t*>(handle->block) + kMethodAreaSize;
    CmmLifecycle* life = LifecycleOf(handle);
    if (life != nullptr && life->reattach != nullptr) life->reattach(g, handle);
}

void CmmObjectCopy(CmmGlobals* g, CmmObject* source, CmmObject* destination)
{
    if (source == nullptr || destination == nullptr || source == destination || source->block == nullptr) return;
    CmmObject copy{};
    CmmObjectInit(&copy, source->type);
    copy.bodySize = source->bodySize;
    CmmObjectAllocate(g, &copy);
    if (copy.block == nullptr) return;
    CmmCopyBytes(copy.body, source->body, source->bodySize);
    // Interfaces live inside the body: each slot keeps its distance from the body's start.
    const auto* sourceBody = static_cast<const uint8_t*>(source->body);
    for (uint32_t i = 0; i < CMM_METHOD_SLOTS; ++i)
        if (source->methods[i] != nullptr)
            copy.methods[i] =
                static_cast<uint8_t*>(copy.body) + (static_cast<const uint8_t*>(source->methods[i]) - sourceBody);
    CmmLifecycle* life = LifecycleOf(&copy);
    if (life != nullptr && life->reattach != nullptr) life->reattach(g, &copy);
    CmmLifecycle* sourceLife = LifecycleOf(source);
    if (sourceLife != nullptr && sourceLife->copyHook != nullptr) sourceLife->copyHook(g, source, &copy);
    CmmObjectRelease(g, destination);
    *destination = copy;
}

void CmmObjectWrite(CmmGlobals* g, CmmObject* self, CmmObject* stream)
{
    CmmLifecycle* life = LifecycleOf(self);
    if (life != nullptr && life->write != nullptr && !CmmFailed(g)) life->write(g, self, stream);
}

void CmmObjectConvertRows(CmmGlobals* g, CmmObject* self, const float* in, float* out, uint32_t pixels)
{
    CmmConversion* conversion = ConversionOf(self);
    if (conversion != nullptr && conversion->convertRows != nullptr && !CmmFailed(g))
        conversion->convertRows(g, self, in, out, pixels);
}

void CmmObjectRun(CmmGlobals* g, CmmObject* self, CmmObject* source, CmmObject* destination)
{
    CmmConversion* conversion = ConversionOf(self);
    if (conversion != nullptr && conversion->run != nullptr && !CmmFailed(g))
        conversion->run(g, self, source, destination);
}

uint32_t CmmObjectInputs(const CmmObject* self)
{
    const CmmConversion* conversion = ConversionOf(self);
    return conversion != nullptr ? conversion->inputs : 0;
}

uint32_t CmmObjectOutputs(const CmmObject* self)
{
    const CmmConversion* conversion = ConversionOf(self);
    return conversion != nullptr ? conversion->outputs : 0;
}

uint32_t CmmGlobalsInit(CmmObject* handle)
{
    CmmObjectInit(handle, CMM_TYPE_GLOBALS);
    handle->bodySize = sizeof(CmmGlobals);
    CmmObjectAllocate(nullptr, handle);
    if (handle->block == nullptr) return CmmStatusClass(CMM_STATUS_NO_MEMORY);
    CmmGlobals* g = CmmGlobalsOf(handle);
    g->buffer = g->conversion;
    return 0;
}

int CmmKeywordLine(char* line, const char* keyword)
{
    const size_t length = std::strlen(keyword);
    if (length == 0) return 0;
    const int compared = std::strncmp(line, keyword, length);
    if (compared != 0) return compared;
    const char* from = line + length;
    char* to = line;
    bool blank = false;
    for (; *from != '\0' && *from != '\n' && *from != '\r'; ++from) {
        const char c = *from == '\t' ? ' ' : *from;
        if (c == ' ') {
            blank = to != line;
            continue;
        }
        if (blank) *to++ = ' ';
        blank = false;
        *to++ = c;
    }
    *to = '\0';
    return static_cast<int>(to - line);
}
