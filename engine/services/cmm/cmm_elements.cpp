// Element readers and writers: counted runs of typed elements between a stream and memory, in
// chunks that fit the globals' conversion buffer, big-endian on the stream side.
#include <cstring>

#include "engine/services/cmm/cmm_stream.h"

uint32_t CmmElementSize(CmmElementCode code)
{
    switch (code) {
        case 128:
        case 160: return 2;
        case 192:
        case 224:
        case 256:
        case 288:
        case 352: return 4;
        case 384: return 8;
        default: return 1;
    }
}

void CmmElementsSwap(const void* source, void* destination, CmmElementCode code, uint32_t count)
{
    const uint32_t size = CmmElementSize(code);
    const auto* from = static_cast<const uint8_t*>(source);
    auto* to = static_cast<uint8_t*>(destination);
    if (size == 1) {
        CmmCopyBytes(to, from, count);
        return;
    }
    for (uint32_t i = 0; i < count; ++i, from += size, to += size)
        for (uint32_t b = 0; b < size; ++b) to[b] = from[size - 1 - b];
}

uint32_t CmmStreamReadElements(CmmGlobals* g, CmmObject* stream, void* destination, CmmElementCode code, int64_t count)
{
    if (count < 1 || CmmFailed(g)) return 0;
    if (count > UINT32_MAX) count = UINT32_MAX;
    if (code == CMM_ELEMENT_U8 || code == CMM_ELEMENT_TEXT)
        return CmmStreamRead(g, stream, destination, static_cast<uint32_t>(count));
    const uint32_t size = CmmElementSize(code);
    const uint32_t perChunk = CMM_CONVERSION_BUFFER_SIZE / size;
    auto* to = static_cast<uint8_t*>(destination);
    uint32_t done = 0;
    for (uint64_t left = static_cast<uint64_t>(count); left > 0;) {
        const uint32_t n = left < perChunk ? static_cast<uint32_t>(left) : perChunk;
        g->status = CMM_STATUS_NONE;
        const uint32_t got = CmmStreamRead(g, stream, g->buffer, n * size);
        g->raised = 0;
        // Running out of data is the caller's to judge (it sees the count); anything else stops.
        if (g->status != CMM_STATUS_NONE && g->status != CMM_STATUS_NO_DATA) CmmRaise(g, g->status);
        CmmElementsSwap(g->buffer, to, code, got / size);
        done += got / size;
        if (got != n * size || CmmFailed(g)) break;
        to += uint64_t{n} * size;
        left -= n;
    }
    return done;
}

void CmmStreamWriteElements(CmmGlobals* g, CmmObject* stream, const void* source, CmmElementCode code, int64_t count)
{
    if (CmmFailed(g)) return;
    if (code == CMM_ELEMENT_TEXT) {
        const char* text = static_cast<const char*>(source);
        CmmStreamWrite(g, stream, text, static_cast<uint32_t>(std::strlen(text) + 1));
        return;
    }
    if (count < 1) return;
    if (code == CMM_ELEMENT_U8) {
        CmmStreamWrite(g, stream, source, static_cast<uint32_t>(count));
        return;
    }
    const uint32_t size = CmmElementSize(code);
    const uint32_t perChunk = CMM_CONVERSION_BUFFER_SIZE / size;
    const auto* from = static_cast<const uint8_t*>(source);
    for (uint64_t left = static_cast<uint64_t>(count); left > 0 && !CmmFailed(g);) {
        const uint32_t n = left < perChunk ? static_cast<uint32_t>(left) : perChunk;
        CmmElementsSwap(from, g->buffer, code, n);
        CmmStreamWrite(g, stream, g->buffer, n * size);
        from += uint64_t{n} * size;
        left -= n;
    }
}
