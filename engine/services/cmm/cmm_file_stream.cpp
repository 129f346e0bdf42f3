// File streams over the standard library's buffered files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "engine/services/cmm/cmm_stream.h"

namespace {

struct AccessMode {
    const char* binary;
    const char* text;
    int flags;  // for open(2), matching what fopen does with the mode
};
constexpr AccessMode kModes[] = {{"rb", "r", O_RDONLY},
                                 {"wb", "w", O_WRONLY | O_CREAT | O_TRUNC},
                                 {"rb+", "r+", O_RDWR},
                                 {"ab", "a", O_WRONLY | O_CREAT | O_APPEND},
                                 {"ab+", "a+", O_RDWR | O_CREAT | O_APPEND}};
constexpr AccessMode kCreate = {"wb+", "w+", O_RDWR | O_CREAT | O_TRUNC};

// A profile's name comes from the data: only a regular file is opened. The open itself must not
// wait (a FIFO in its place would block for ever, and could be swapped in after any look at the
// name), so it is made without blocking and what was opened is checked before it is read.
FILE* RegularFileOpen(const char* name, const AccessMode& mode, bool text)
{
    const int fd = ::open(name, mode.flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, mode.flags & O_APPEND) != 0) {
        ::close(fd);
        errno = EACCES;  // not ENOENT: nothing is created in its place
        return nullptr;
    }
    FILE* file = ::fdopen(fd, text ? mode.text : mode.binary);
    if (file == nullptr) ::close(fd);
    return file;
}

void FileOpen(CmmGlobals* g, CmmObject* self)
{
    CmmStream* s = CmmStreamOf(self);
    if (s->source == nullptr || s->source->fileName == nullptr) {
        CmmRaise(g, CMM_STATUS_NO_FILE_NAME);
        return;
    }
    if (s->access >= std::size(kModes)) {
        CmmRaise(g, CMM_STATUS_OPEN_FAILED);
        return;
    }
    s->file = RegularFileOpen(s->source->fileName, kModes[s->access], s->text != 0);
    if (s->file == nullptr && s->access == CMM_ACCESS_READ_WRITE && errno == ENOENT) {
        s->file = RegularFileOpen(s->source->fileName, kCreate, s->text != 0);
        if (s->file != nullptr) g->status = CMM_STATUS_CREATED;  // noted, not raised
    }
    if (s->file == nullptr) CmmRaise(g, CMM_STATUS_OPEN_FAILED);
}

uint32_t FileRead(CmmGlobals* g, CmmObject* self, void* destination, uint32_t n)
{
    CmmStream* s = CmmStreamOf(self);
    const size_t done = s->file != nullptr ? std::fread(destination, 1, n, s->file) : 0;
    if (s->bytesDone != nullptr) *s->bytesDone = static_cast<uint32_t>(done);
    else if (done != n) CmmRaise(g, CMM_STATUS_NO_DATA);
    return static_cast<uint32_t>(done);
}

void FileWrite(CmmGlobals* g, CmmObject* self, const void* source, uint32_t n)
{
    CmmStream* s = CmmStreamOf(self);
    const size_t done = s->file != nullptr ? std::fwrite(source, 1, n, s->file) : 0;
    if (s->bytesDone != nullptr) *s->bytesDone = static_cast<uint32_t>(done);
    else if (done != n) CmmRaise(g, CMM_STATUS_NO_ROOM);
}

bool FileAtEnd(CmmGlobals*, CmmObject* self)
{
    CmmStream* s = CmmStreamOf(self);
    return s->file == nullptr || std::feof(s->file) != 0;
}

uint8_t* FileSeek(CmmGlobals*, CmmObject* self, int64_t offset, uint32_t origin)
{
    CmmStream* s = CmmStreamOf(self);
    const int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
    if (s->file != nullptr) std::fseek(s->file, static_cast<long>(origin == 2 ? -offset : offset), whence);
    return nullptr;
}

uint64_t FileTell(CmmGlobals*, CmmObject* self)
{
    CmmStream* s = CmmStreamOf(self);
    const long at = s->file != nullptr ? std::ftell(s->file) : -1;
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

void FileClose(CmmGlobals*, CmmObject* self)
{
    CmmStream* s = CmmStreamOf(self);
    if (s->file != nullptr) std::fclose(s->file);
    s->file = nullptr;
}

void FileDestroy(CmmGlobals* g, CmmObject* self) { FileClose(g, self); }

}  // namespace

void CmmFileStreamCreate(CmmGlobals* g, CmmObject* handle, const CmmProfileSource* source, uint32_t access, bool text,
                         uint32_t origin, uint32_t flag)
{
    CmmObjectInit(handle, CMM_TYPE_STREAM);
    if (CmmFailed(g)) return;
    handle->bodySize = sizeof(CmmStream);
    CmmObjectAllocate(g, handle);
    if (handle->block == nullptr) return;
    CmmStream* s = CmmStreamOf(handle);
    CmmObjectSetSlot(handle, CMM_SLOT_LIFECYCLE, &s->lifecycle);
    CmmObjectSetSlot(handle, CMM_SLOT_STREAM, &s->stream);
    s->lifecycle.destroy = FileDestroy;
    s->stream = CmmStreamInterface{origin, FileOpen, FileRead, FileWrite, FileAtEnd, FileSeek, FileTell, FileClose};
    s->source = source;
    s->access = access;
    s->text = text ? 1 : 0;
    s->flag = flag;
    FileOpen(g, handle);
}

CmmProfileSource* CmmFileSourceCreate(CmmGlobals* g, const char* path)
{
    const size_t length = std::strlen(path);
    auto* source = static_cast<CmmProfileSource*>(CmmAlloc(g, sizeof(CmmProfileSource) + length + 1));
    if (source == nullptr) return nullptr;
    char* name = reinterpret_cast<char*>(source + 1);
    CmmCopyBytes(name, path, length + 1);
    *source = CmmProfileSource{nullptr, name, 0, 0, UINT64_MAX};
    return source;
}
