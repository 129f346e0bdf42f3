#include "frontend/common/file_all.h"

#include "frontend/common/data_dir.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Data files are small; one larger than this is damaged and reads as missing.
constexpr off_t kLargestDataFile = 0x7FFFFFFF;

BYTE* EmptyBlock() { return static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 32)); }

// Opens a data file without following a symlink or waiting on a FIFO, and keeps it only when what
// was opened is a regular file of this user's: a folder that others could once write may still
// hold a file they planted, whose contents must not be taken for the address book and into which
// the receivers must not be written.
int DataFileOpen(LPCWSTR path, int flags)
{
    const std::string narrow = path ? NarrowPath(path) : std::string();
    if (narrow.empty()) return -1;
    const int fd = ::open(narrow.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadFull(int fd, BYTE* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteFull(int fd, const BYTE* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

BYTE* FileReadAll(LPCWSTR path)
{
    const int fd = DataFileOpen(path, O_RDONLY);
    if (fd < 0) return EmptyBlock();
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size > kLargestDataFile) {
        ::close(fd);
        return EmptyBlock();
    }
    const auto size = static_cast<SIZE_T>(st.st_size);
    auto* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    const bool ok = block && ReadFull(fd, block, size);
    ::close(fd);
    if (ok) return block;
    HeapFree(GetProcessHeap(), 0, block);
    return EmptyBlock();
}

bool FileWriteAll(LPCWSTR path, DWORD, const void* data, DWORD byteCount)
{
    const int fd = DataFileOpen(path, O_WRONLY | O_CREAT);
    if (fd < 0) return false;
    // The file is cut only after the new bytes are in, so a failed write leaves the earlier
    // list's length in place rather than an empty file. A file of ours that others could read
    // (made before the folder was private) is closed to them.
    const bool ok = ::fchmod(fd, 0600) == 0 && WriteFull(fd, static_cast<const BYTE*>(data), byteCount) &&
                    ::ftruncate(fd, static_cast<off_t>(byteCount)) == 0;
    ::close(fd);
    return ok;
}
