// Buffered reader over the host's read and seek callbacks, the temporary-file variant used to copy
// a stream, and the spill companion in which resource stores park data they must read again.
// A Stream belongs to one thread. Positions are 32-bit: a stream holds less than 2 GB.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/spool/spool_records.h"
#include "platform/kernel.h"

// Reads up to count bytes; *got receives how many arrived (0 at the end of the data). Returns
// non-zero on success. A callback that claims more than it was asked for counts as failed.
typedef BOOL (*StreamReadFn)(void* handle, void* buffer, uint32_t count, uint32_t* got);
// Moves the callback's position: mode 0 from the start, 1 from the current position, 2 from the
// end. Returns the new position, or a negative value on failure. Null makes the stream
// forward-only.
typedef int32_t (*StreamSeekFn)(void* handle, int32_t offset, uint32_t mode);

// The smallest buffer a stream gets, whatever the caller asks for: every record header and every
// fixed record part that a reader peeks fits in it.
constexpr uint32_t kStreamMinBufferSize = 1024;
constexpr int32_t kStreamMaxPosition = 0x7fffffff;

struct Stream {
    void* handle;  // first argument of both callbacks (a file handle for the defaults)
    uint32_t ownsHandle;  // 1: StreamClose closes the handle with CloseHandle
    uint32_t broken;  // 1 after a spill read could not put the callback back; all reads fail
    StreamReadFn read;
    StreamSeekFn seek;  // null: forward-only
    uint32_t position;  // stream offset of the next byte a read returns
    uint32_t buffered;  // bytes in the buffer not yet returned
    uint32_t bufferSize;
    uint8_t* readPointer;  // next unread byte in the buffer
    uint8_t* buffer;  // allocated with the record, right behind it
};

// The file defaults: ReadFile and SetFilePointer on a HANDLE.
BOOL StreamFileRead(void* handle, void* buffer, uint32_t count, uint32_t* got);
int32_t StreamFileSeek(void* handle, int32_t offset, uint32_t mode);

// A null read callback selects the file defaults for both callbacks; otherwise both callbacks are
// taken as given. Returns null when out of memory (last error 8).
Stream* StreamOpen(void* handle, uint32_t bufferSize, StreamReadFn read, StreamSeekFn seek);
// A stream over a new delete-on-close temporary file ("sMs" prefix), owning the handle.
Stream* StreamTempCreate(uint32_t bufferSize);
void StreamClose(Stream* stream);

// Copies up to n bytes (n at most the buffer size) without consuming them. Fewer than n only at
// the end of the data. -1 on failure.
int32_t StreamPeek(Stream* stream, void* destination, uint32_t n);
// Reads up to n bytes; fewer only at the end of the data. -1 on failure.
int32_t StreamRead(Stream* stream, void* destination, uint32_t n);
// Reads n bytes into data in 64 KiB steps, the buffer growing only as bytes arrive: a record that
// claims more than its stream holds fails at the stream's end instead of allocating its claim.
bool StreamReadGrowing(Stream* stream, uint32_t n, std::vector<uint8_t>* data);
// Mode 0 from the start, 1 from the current position. Returns the new position or -1. A
// forward-only stream can move forward (discarding) or back inside its buffer only.
int32_t StreamSeek(Stream* stream, int32_t offset, uint32_t mode);
inline bool StreamCanSeek(const Stream* stream) { return stream->seek != nullptr; }

// Peeks the record header at the stream's position; false at the end of the data, on a failed
// read, or for a record whose size cannot be right where it stands.
bool SpoolRecordPeek(Stream* stream, SpoolRecordHeader* header);
// The last record header SpoolRecordPeek looked at in the calling thread, for failure messages:
// where it stands, how many of its header bytes were there and what they say.
struct SpoolRecordSeen {
    uint32_t position;
    uint32_t headerBytes;
    SpoolRecordHeader header;
    // The whole header looked at before this one, elsewhere in the stream (size 0: none): when
    // the stream ends where a header should start, that record was the last one read.
    uint32_t previousPosition;
    SpoolRecordHeader previous;
    bool streamEnded;  // the stream's data ran out while this record was read
    const char* missingKind;  // a resource this record names that was never defined, or null
    uint32_t missingId;
    bool temporaryFull;  // a temporary file could not take this record's data: its folder is full
};
const SpoolRecordSeen& SpoolRecordLastSeen();
// Notes that the record being read names a resource ("brush", "pen", ...) that is not defined,
// for SpoolRecordFailureLog; the note lasts until the next record is looked at.
void SpoolRecordMissingResource(const char* kind, uint32_t id);
// Logs (LogEvent, as an error of `function`) why reading stopped at the last record looked at:
// the stream's end (with the record read last), a record of bad size, a cut record, a resource
// the record names that is not defined, or lack of memory. `what` says what was being read.
void SpoolRecordFailureLog(const char* function, const char* what);

// Moves past the whole record whose header was peeked.
bool SpoolRecordSkip(Stream* stream, const SpoolRecordHeader& header);

// Copies n bytes of the source stream to the destination stream's file (WriteFile on its handle)
// and advances both positions.
bool StreamCopyToFile(Stream* destination, Stream* source, uint32_t n);

// Random-access companion of a stream: over a seekable stream the data is read again from the
// stream itself; over a forward-only stream it is parked in a temporary file ("sBs" prefix).
// Either way the stream must stay open until the spill is closed.
struct StreamSpill {
    Stream* stream;
    HANDLE file;  // INVALID_HANDLE_VALUE when the stream itself can seek
};

StreamSpill* StreamSpillCreate(Stream* stream);
void StreamSpillClose(StreamSpill* spill);
// Moves the next n bytes of the stream into the spill; *offset receives where they can be read.
bool StreamSpillAppend(StreamSpill* spill, uint32_t n, uint32_t* offset);
// Reads exactly n bytes parked at offset. Leaves the stream's own reading where it was.
bool StreamSpillReadAt(StreamSpill* spill, uint32_t offset, void* destination, uint32_t n);
