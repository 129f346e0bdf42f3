// In-memory spool streams for tests: seekable or forward-only, delivering at most a given number
// of bytes per read, failing at a given byte, and growable by a producer thread while a reader
// reads them.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/spool/stream.h"

struct MemoryStream {
    std::vector<uint8_t> data;
    uint64_t position = 0;
    uint32_t maxChunk = 0;  // at most this many bytes per read (0: no limit)
    int64_t failAt = -1;  // a read that would deliver this byte fails (-1: never)
    int64_t failSeeksAfter = -1;  // seeks beyond this many succeed no more (-1: never fail)
    bool seekable = true;
    uint32_t reads = 0;  // callback calls, for tests that count them
    uint32_t seeks = 0;
    bool logAsks = false;  // record the count of every read call in asks
    std::vector<uint32_t> asks;
    std::mutex lock;  // a producer may append while the engine reads

    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> bytes, bool canSeek = true, uint32_t chunk = 0)
        : data(std::move(bytes)), maxChunk(chunk), seekable(canSeek)
    {}

    void Append(const std::vector<uint8_t>& bytes);
    size_t Size();
};

BOOL MemoryStreamRead(void* handle, void* buffer, uint32_t count, uint32_t* got);
int32_t MemoryStreamSeek(void* handle, int32_t offset, uint32_t mode);

// A Stream over the memory stream, with the seek callback only when it is seekable.
Stream* MemoryStreamOpen(MemoryStream* memory, uint32_t bufferSize = 1024);
