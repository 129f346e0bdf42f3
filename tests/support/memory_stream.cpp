#include "tests/support/memory_stream.h"

#include <algorithm>
#include <cstring>

void MemoryStream::Append(const std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::mutex> guard(lock);
    data.insert(data.end(), bytes.begin(), bytes.end());
}

size_t MemoryStream::Size()
{
    std::lock_guard<std::mutex> guard(lock);
    return data.size();
}

BOOL MemoryStreamRead(void* handle, void* buffer, uint32_t count, uint32_t* got)
{
    auto* m = static_cast<MemoryStream*>(handle);
    std::lock_guard<std::mutex> guard(m->lock);
    ++m->reads;
    if (m->logAsks) m->asks.push_back(count);
    *got = 0;
    uint64_t n = count;
    if (m->maxChunk) n = std::min<uint64_t>(n, m->maxChunk);
    const uint64_t available = m->position < m->data.size() ? m->data.size() - m->position : 0;
    n = std::min(n, available);
    if (m->failAt >= 0 && n > 0 && m->position + n > static_cast<uint64_t>(m->failAt)) {
        if (m->position >= static_cast<uint64_t>(m->failAt)) {
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        n = static_cast<uint64_t>(m->failAt) - m->position;  // the next read fails
    }
    if (n) std::memcpy(buffer, m->data.data() + m->position, n);
    m->position += n;
    *got = static_cast<uint32_t>(n);
    return TRUE;
}

int32_t MemoryStreamSeek(void* handle, int32_t offset, uint32_t mode)
{
    auto* m = static_cast<MemoryStream*>(handle);
    std::lock_guard<std::mutex> guard(m->lock);
    ++m->seeks;
    if (!m->seekable) return -1;
    if (m->failSeeksAfter >= 0 && m->seeks > static_cast<uint64_t>(m->failSeeksAfter)) return -1;
    int64_t base = 0;
    if (mode == 1) base = static_cast<int64_t>(m->position);
    else if (mode == 2) base = static_cast<int64_t>(m->data.size());
    const int64_t target = base + offset;
    if (target < 0 || target > 0x7fffffff) return -1;
    m->position = static_cast<uint64_t>(target);
    return static_cast<int32_t>(target);
}

Stream* MemoryStreamOpen(MemoryStream* memory, uint32_t bufferSize)
{
    return StreamOpen(memory, bufferSize, MemoryStreamRead, memory->seekable ? MemoryStreamSeek : nullptr);
}
