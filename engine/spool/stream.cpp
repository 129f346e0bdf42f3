// Buffered spool stream over the host's callbacks.
#include "engine/spool/stream.h"
#include "engine/common/render_heap.h"

#include "engine/common/log_context.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The record the calling thread looked at last, for failure messages.
thread_local SpoolRecordSeen tSeen{};

// One call of the read callback. A callback that claims more than it was asked for has written
// past our buffer or lies about its data: either way the read has failed.
bool CallbackRead(Stream* s, void* destination, uint32_t count, uint32_t* got)
{
    *got = 0;
    uint32_t delivered = 0;
    if (!s->read(s->handle, destination, count, &delivered)) return false;
    if (delivered > count) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    *got = delivered;
    // The data ends: whatever record is being read lacks bytes (for the failure message).
    if (delivered == 0 && count > 0) tSeen.streamEnded = true;
    return true;
}

// Reads until count bytes arrived or the callback reports the end of the data (0 bytes): a pipe
// or a producer's stream may deliver less than asked without being at its end.
bool CallbackReadFully(Stream* s, uint8_t* destination, uint32_t count, uint32_t* total)
{
    *total = 0;
    while (*total < count) {
        uint32_t got = 0;
        if (!CallbackRead(s, destination + *total, count - *total, &got)) return false;
        if (got == 0) break;
        *total += got;
    }
    return true;
}

bool PositionFits(uint64_t position) { return position <= static_cast<uint64_t>(kStreamMaxPosition); }

// Moves the unread bytes to the start of the buffer and reads behind them until at least `want`
// bytes are buffered or the data ends.
bool FillAtLeast(Stream* s, uint32_t want)
{
    if (s->buffered > 0 && s->readPointer != s->buffer) std::memmove(s->buffer, s->readPointer, s->buffered);
    s->readPointer = s->buffer;
    while (s->buffered < want) {
        uint32_t got = 0;
        if (!CallbackRead(s, s->buffer + s->buffered, s->bufferSize - s->buffered, &got)) return false;
        if (got == 0) break;
        s->buffered += got;
    }
    return true;
}

void Consume(Stream* s, uint32_t n)
{
    s->readPointer += n;
    s->buffered -= n;
    s->position += n;
}

void EmptyBuffer(Stream* s)
{
    s->readPointer = s->buffer;
    s->buffered = 0;
}

HANDLE TempFileCreate(const char* prefix)
{
    char folder[MAX_PATH + 1] = {};
    char name[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH) return INVALID_HANDLE_VALUE;
    if (GetTempFileNameA(folder, prefix, 0, name) == 0) return INVALID_HANDLE_VALUE;
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_RANDOM_ACCESS |
                           FILE_FLAG_DELETE_ON_CLOSE,
                       nullptr);
}

bool FileWriteAll(HANDLE file, const void* data, uint32_t n)
{
    DWORD written = 0;
    const BOOL done = WriteFile(file, data, n, &written, nullptr);
    if (done && written == n) return true;
    // A short write to a file is a full disk as well.
    const DWORD error = GetLastError();
    if (done || error == ERROR_DISK_FULL) tSeen.temporaryFull = true;
    return false;
}

bool FileReadAll(HANDLE file, uint8_t* destination, uint32_t n)
{
    uint32_t total = 0;
    while (total < n) {
        DWORD got = 0;
        if (!ReadFile(file, destination + total, n - total, &got, nullptr)) return false;
        if (got == 0 || got > n - total) {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        total += got;
    }
    return true;
}

}  // namespace

BOOL StreamFileRead(void* handle, void* buffer, uint32_t count, uint32_t* got)
{
    DWORD read = 0;
    const BOOL ok = ReadFile(static_cast<HANDLE>(handle), buffer, count, &read, nullptr);
    *got = read;
    return ok;
}

int32_t StreamFileSeek(void* handle, int32_t offset, uint32_t mode)
{
    const DWORD result = SetFilePointer(static_cast<HANDLE>(handle), offset, nullptr, mode);
    if (result == INVALID_SET_FILE_POINTER || result > static_cast<DWORD>(kStreamMaxPosition)) return -1;
    return static_cast<int32_t>(result);
}

Stream* StreamOpen(void* handle, uint32_t bufferSize, StreamReadFn read, StreamSeekFn seek)
{
    bufferSize = std::max(bufferSize, kStreamMinBufferSize);
    void* memory = RenderAlloc(sizeof(Stream) + bufferSize);
    if (!memory) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Stream* s = new (memory) Stream{};
    s->handle = handle;
    if (read) {
        s->read = read;
        s->seek = seek;
    } else {
        s->read = StreamFileRead;
        s->seek = StreamFileSeek;
    }
    s->bufferSize = bufferSize;
    s->buffer = reinterpret_cast<uint8_t*>(s + 1);
    s->readPointer = s->buffer;
    return s;
}

Stream* StreamTempCreate(uint32_t bufferSize)
{
    HANDLE file = TempFileCreate("sMs");
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    Stream* s = StreamOpen(file, bufferSize, nullptr, nullptr);
    if (!s) {
        CloseHandle(file);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    s->ownsHandle = 1;
    return s;
}

void StreamClose(Stream* stream)
{
    if (!stream) return;
    if (stream->ownsHandle) CloseHandle(static_cast<HANDLE>(stream->handle));
    stream->~Stream();
    RenderFree(stream);
}

int32_t StreamPeek(Stream* s, void* destination, uint32_t n)
{
    if (s->broken) return -1;
    if (n > s->bufferSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (s->buffered < n && !FillAtLeast(s, n)) return -1;
    const uint32_t copied = std::min(n, s->buffered);
    std::memcpy(destination, s->readPointer, copied);
    return static_cast<int32_t>(copied);
}

int32_t StreamRead(Stream* s, void* destination, uint32_t n)
{
    if (s->broken) return -1;
    if (!PositionFits(static_cast<uint64_t>(s->position) + n)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto* out = static_cast<uint8_t*>(destination);
    uint32_t total = std::min(n, s->buffered);
    std::memcpy(out, s->readPointer, total);
    Consume(s, total);
    const uint32_t remaining = n - total;
    if (remaining == 0) return static_cast<int32_t>(total);

    if (remaining <= s->bufferSize) {
        EmptyBuffer(s);
        if (!FillAtLeast(s, remaining)) return -1;
        const uint32_t more = std::min(remaining, s->buffered);
        std::memcpy(out + total, s->readPointer, more);
        Consume(s, more);
        total += more;
    } else {
        // Larger than the buffer: straight into the caller's memory.
        EmptyBuffer(s);
        uint32_t got = 0;
        if (!CallbackReadFully(s, out + total, remaining, &got)) return -1;
        s->position += got;
        total += got;
    }
    return static_cast<int32_t>(total);
}

int32_t StreamSeek(Stream* s, int32_t offset, uint32_t mode)
{
    if (s->broken) return -1;
    int64_t target;
    if (mode == 0) target = offset;
    else if (mode == 1) target = static_cast<int64_t>(s->position) + offset;
    else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (target < 0 || !PositionFits(static_cast<uint64_t>(target))) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return -1;
    }

    // Inside the buffer's window (consumed bytes still held behind the read pointer included).
    const int64_t behind = s->readPointer - s->buffer;
    const int64_t windowStart = static_cast<int64_t>(s->position) - behind;
    const int64_t windowEnd = static_cast<int64_t>(s->position) + s->buffered;
    if (target >= windowStart && target <= windowEnd) {
        const int64_t delta = target - static_cast<int64_t>(s->position);
        s->readPointer += delta;
        s->buffered = static_cast<uint32_t>(static_cast<int64_t>(s->buffered) - delta);
        s->position = static_cast<uint32_t>(target);
        return static_cast<int32_t>(target);
    }

    if (s->seek) {
        const int32_t result = s->seek(s->handle, static_cast<int32_t>(target), 0);
        if (result < 0 || result != target) return -1;
        EmptyBuffer(s);
        s->position = static_cast<uint32_t>(target);
        return result;
    }

    // Forward-only: what is buffered is consumed first, then the rest is read and discarded.
    if (target < static_cast<int64_t>(s->position)) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return -1;
    }
    Consume(s, s->buffered);
    EmptyBuffer(s);
    while (s->position < target) {
        const uint32_t piece = static_cast<uint32_t>(std::min<int64_t>(target - s->position, s->bufferSize));
        uint32_t got = 0;
        if (!CallbackRead(s, s->buffer, piece, &got)) return -1;
        if (got == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            return -1;
        }
        s->position += got;
    }
    return static_cast<int32_t>(target);
}

bool SpoolRecordPeek(Stream* stream, SpoolRecordHeader* header)
{
    uint8_t raw[kSpoolRecordHeaderSize];
    SpoolRecordSeen seen{};
    if (tSeen.headerBytes == kSpoolRecordHeaderSize && tSeen.position != stream->position) {
        seen.previousPosition = tSeen.position;
        seen.previous = tSeen.header;
    } else {
        seen.previousPosition = tSeen.previousPosition;
        seen.previous = tSeen.previous;
    }
    seen.position = stream->position;
    tSeen = seen;
    const int32_t got = StreamPeek(stream, raw, sizeof raw);
    tSeen.headerBytes = got < 0 ? 0u : static_cast<uint32_t>(got);
    if (got != static_cast<int32_t>(sizeof raw)) return false;
    *header = tSeen.header = SpoolRecordHeaderLoad(raw);
    return SpoolRecordSizeValid(*header, stream->position);
}

void SpoolRecordMissingResource(const char* kind, uint32_t id)
{
    tSeen.missingKind = kind;
    tSeen.missingId = id;
}

const SpoolRecordSeen& SpoolRecordLastSeen() { return tSeen; }

void SpoolRecordFailureLog(const char* function, const char* what)
{
    const DWORD error = GetLastError();
    const SpoolRecordSeen& seen = tSeen;
    const SpoolRecordHeader& h = seen.header;
    if (seen.temporaryFull) {
        LogEvent(IMX_LOG_ERROR, function,
                 "%s: the temporary folder is full: the data of the record of type %u at byte %u could not be kept "
                 "there",
                 what, h.type, seen.position);
    } else if (error == ERROR_NOT_ENOUGH_MEMORY) {
        LogEvent(IMX_LOG_ERROR, function, "%s: out of memory at the record of type %u at byte %u", what, h.type,
                 seen.position);
    } else if (seen.headerBytes == 0 && seen.previous.size != 0) {
        const SpoolRecordHeader& p = seen.previous;
        // Ending where the previous record ends is a stream cut between records: that record is whole.
        const bool after = uint64_t{seen.previousPosition} + p.size == seen.position;
        LogEvent(IMX_LOG_ERROR, function,
                 "%s: the spool stream ends at byte %u, %s the record of type %u that starts at byte %u (%u bytes)",
                 what, seen.position, after ? "right after" : "inside", p.type, seen.previousPosition, p.size);
    } else if (seen.headerBytes == 0) {
        LogEvent(IMX_LOG_ERROR, function, "%s: the spool stream %s at byte %u", what,
                 seen.position == 0 ? "is empty, it ends" : "ends", seen.position);
    } else if (seen.headerBytes < kSpoolRecordHeaderSize) {
        LogEvent(IMX_LOG_ERROR, function, "%s: the spool stream ends inside a record's header at byte %u", what,
                 seen.position);
    } else if (!SpoolRecordSizeValid(h, seen.position)) {
        LogEvent(IMX_LOG_ERROR, function, "%s: the record of type %u at byte %u has a bad size of %u bytes", what,
                 h.type, seen.position, h.size);
    } else if (seen.missingKind != nullptr && error == ERROR_INVALID_DATA) {
        LogEvent(IMX_LOG_ERROR, function,
                 "%s: the record of type %u at byte %u (%u bytes) names %s %u, which is not defined", what, h.type,
                 seen.position, h.size, seen.missingKind, seen.missingId);
    } else {
        const char* why = error == ERROR_NOT_SUPPORTED                    ? "asks for what this engine does not support"
                          : error == ERROR_HANDLE_EOF || seen.streamEnded ? "is cut: the stream ends inside it"
                          : error == ERROR_INVALID_DATA                   ? "holds fields that do not fit it"
                                                                          : "could not be read or rendered";
        LogEvent(IMX_LOG_ERROR, function, "%s: the record of type %u at byte %u (%u bytes) %s (error %u)", what, h.type,
                 seen.position, h.size, why, static_cast<unsigned>(error));
    }
}

bool SpoolRecordSkip(Stream* stream, const SpoolRecordHeader& header)
{
    return StreamSeek(stream, static_cast<int32_t>(header.size), 1) >= 0;
}

bool StreamCopyToFile(Stream* destination, Stream* source, uint32_t n)
{
    if (source->broken) return false;
    if (!PositionFits(static_cast<uint64_t>(destination->position) + n) ||
        !PositionFits(static_cast<uint64_t>(source->position) + n)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    uint32_t copied = 0;
    while (copied < n) {
        if (source->buffered == 0) {
            EmptyBuffer(source);
            uint32_t got = 0;
            if (!CallbackRead(source, source->buffer, source->bufferSize, &got)) return false;
            if (got == 0) {
                SetLastError(ERROR_HANDLE_EOF);
                return false;
            }
            source->buffered = got;
        }
        const uint32_t piece = std::min(n - copied, source->buffered);
        if (!FileWriteAll(static_cast<HANDLE>(destination->handle), source->readPointer, piece)) return false;
        destination->position += piece;
        Consume(source, piece);
        copied += piece;
    }
    return true;
}

StreamSpill* StreamSpillCreate(Stream* stream)
{
    auto* spill = static_cast<StreamSpill*>(RenderAlloc(sizeof(StreamSpill)));
    if (!spill) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    spill->stream = stream;
    spill->file = INVALID_HANDLE_VALUE;
    if (!stream->seek) {
        spill->file = TempFileCreate("sBs");
        if (spill->file == INVALID_HANDLE_VALUE) {
            RenderFree(spill);
            return nullptr;
        }
    }
    return spill;
}

void StreamSpillClose(StreamSpill* spill)
{
    if (!spill) return;
    if (spill->file != INVALID_HANDLE_VALUE) CloseHandle(spill->file);
    RenderFree(spill);
}

bool StreamSpillAppend(StreamSpill* spill, uint32_t n, uint32_t* offset)
{
    Stream* s = spill->stream;
    if (spill->file == INVALID_HANDLE_VALUE) {
        const uint32_t start = s->position;
        if (!PositionFits(static_cast<uint64_t>(start) + n)) return false;
        if (StreamSeek(s, static_cast<int32_t>(n), 1) < 0) return false;
        *offset = start;
        return true;
    }

    const DWORD end = SetFilePointer(spill->file, 0, nullptr, FILE_END);
    if (end == INVALID_SET_FILE_POINTER || !PositionFits(static_cast<uint64_t>(end) + n)) return false;
    constexpr uint32_t kPiece = 65536;
    uint8_t* piece = static_cast<uint8_t*>(RenderAlloc(std::min(n, kPiece) + 1));
    if (!piece) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    uint32_t moved = 0;
    bool ok = true;
    while (ok && moved < n) {
        const int32_t got = StreamRead(s, piece, std::min(n - moved, kPiece));
        if (got <= 0) {
            ok = false;
            break;
        }
        ok = FileWriteAll(spill->file, piece, static_cast<uint32_t>(got));
        moved += static_cast<uint32_t>(got);
    }
    RenderFree(piece);
    if (ok) *offset = end;
    return ok;
}

bool StreamSpillReadAt(StreamSpill* spill, uint32_t offset, void* destination, uint32_t n)
{
    if (spill->file != INVALID_HANDLE_VALUE) {
        if (!PositionFits(static_cast<uint64_t>(offset) + n)) return false;
        if (SetFilePointer(spill->file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != offset) return false;
        return FileReadAll(spill->file, static_cast<uint8_t*>(destination), n);
    }

    // The stream's callback stands at the end of the buffered bytes: read elsewhere, then always
    // put it back there, or the stream's buffer and its callback would no longer agree.
    Stream* s = spill->stream;
    if (s->broken || !PositionFits(static_cast<uint64_t>(offset) + n)) return false;
    const int32_t back = static_cast<int32_t>(s->position + s->buffered);
    bool ok = s->seek(s->handle, static_cast<int32_t>(offset), 0) == static_cast<int32_t>(offset);
    if (ok) {
        uint32_t got = 0;
        ok = CallbackReadFully(s, static_cast<uint8_t*>(destination), n, &got) && got == n;
    }
    if (s->seek(s->handle, back, 0) != back) {
        s->broken = 1;
        return false;
    }
    return ok;
}

bool StreamReadGrowing(Stream* stream, uint32_t n, std::vector<uint8_t>* data)
{
    constexpr uint32_t kStep = 0x10000;
    try {
        for (uint32_t got = 0; got < n;) {
            const uint32_t step = std::min(n - got, kStep);
            data->resize(size_t(got) + step);
            if (StreamRead(stream, data->data() + got, step) != int32_t(step)) return false;
            got += step;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
