#include "file.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/kernel.h"
#include "wide_text.h"

namespace platform {

FileObject::~FileObject() { ::close(fd); }

int RegularFileOpen(const std::string& path, int* fd, struct stat* st)
{
    do {
        *fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (*fd < 0 && errno == EINTR);
    if (*fd < 0) return errno;
    // Only a regular file is read: a FIFO would wait for a writer forever, a device never end.
    *st = {};
    if (::fstat(*fd, st) != 0 || !S_ISREG(st->st_mode)) {
        ::close(*fd);
        *fd = -1;
        return S_ISDIR(st->st_mode) ? EISDIR : EACCES;
    }
    return 0;
}

int ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes, uint64_t maxBytes)
{
    bytes.clear();
    int fd;
    struct stat st {};
    if (const int error = RegularFileOpen(path, &fd, &st); error != 0) return error;
    if (uint64_t(st.st_size) > maxBytes) {
        ::close(fd);
        return EFBIG;
    }
    try {
        bytes.reserve(size_t(st.st_size));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return ENOMEM;
    }
    unsigned char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        if (n == 0) break;
        // The file may grow while it is read: the bound holds for what is read, too.
        if (uint64_t(n) > maxBytes - bytes.size()) {
            ::close(fd);
            return EFBIG;
        }
        try {
            bytes.insert(bytes.end(), chunk, chunk + n);
        } catch (const std::bad_alloc&) {
            ::close(fd);
            return ENOMEM;
        }
    }
    ::close(fd);
    return 0;
}

namespace {

std::shared_ptr<FileObject> File(HANDLE handle) { return HandleGet<FileObject>(handle); }

// ENOENT means a missing file when its folder exists, a missing path otherwise.
DWORD MissingFileError(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
    struct stat st;
    const std::string folder = path.substr(0, slash);
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

}  // namespace
}  // namespace platform

using namespace platform;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD flags, HANDLE)
{
    if (!name || !*name) {
        SetLastError(name ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool wantRead = (access & GENERIC_READ) != 0;
    const bool wantWrite = (access & GENERIC_WRITE) != 0;
    int oflags = O_CLOEXEC | (wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY);
    switch (disposition) {
        case CREATE_NEW: oflags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: oflags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: oflags |= O_CREAT; break;
        case TRUNCATE_EXISTING:
            if (!wantWrite) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            oflags |= O_TRUNC;
            break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    if (flags & FILE_FLAG_OPEN_REPARSE_POINT) oflags |= O_NOFOLLOW;
    std::string path;
    try {
        path = NativePath(name);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    bool existed = false;
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) {
        struct stat st;
        existed = ::stat(path.c_str(), &st) == 0;
    }
    int fd;
    // Opened without blocking, so that a FIFO in the file's place cannot hang the caller before
    // it is refused below.
    do {
        fd = ::open(path.c_str(), oflags | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        SetLastError(errno == ENOENT ? MissingFileError(path) : ErrnoToWinError(errno));
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Reads and writes of the handle block as a file's do; a descriptor left non-blocking could
    // return EAGAIN where the caller expects a whole transfer.
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        SetLastError(ErrnoToWinError(error));
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<FileObject> object;
    try {
        object = std::make_shared<FileObject>(fd, wantWrite);
    } catch (const std::bad_alloc&) {
        ::close(fd);  // the object that would close it was never made
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    if (flags & FILE_FLAG_DELETE_ON_CLOSE) ::unlink(path.c_str());
    HANDLE handle = HandleRegister(std::move(object));  // closes the descriptor when it fails
    if (!handle) return INVALID_HANDLE_VALUE;
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile)
{
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string narrow;
    try {
        narrow = WideToUtf8(name);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(narrow.c_str(), access, share, security, disposition, flags, templateFile);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, DWORD* read, void* overlapped)
{
    if (read) *read = 0;
    auto file = File(handle);
    if (!file) return FALSE;
    if (overlapped || (!buffer && toRead)) return Fail(ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (done < toRead) {
        const ssize_t n = ::read(file->fd, bytes + done, toRead - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (read) *read = done;
            return Fail(errno == EBADF ? ERROR_ACCESS_DENIED : ErrnoToWinError(errno));
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read) *read = done;
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, DWORD* written, void* overlapped)
{
    if (written) *written = 0;
    auto file = File(handle);
    if (!file) return FALSE;
    if (overlapped || (!buffer && toWrite)) return Fail(ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    while (done < toWrite) {
        const ssize_t n = ::write(file->fd, bytes + done, toWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (written) *written = done;
            return Fail(errno == EBADF ? ERROR_ACCESS_DENIED : ErrnoToWinError(errno));
        }
        if (n == 0) {
            if (written) *written = done;
            return Fail(ERROR_WRITE_FAULT);
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

namespace {

// The target of a seek, checked: not before the start of the file.
bool SeekTarget(int fd, LONGLONG distance, DWORD method, LONGLONG* target)
{
    LONGLONG base = 0;
    if (method == FILE_CURRENT) {
        base = ::lseek(fd, 0, SEEK_CUR);
    } else if (method == FILE_END) {
        struct stat st;
        base = ::fstat(fd, &st) == 0 ? st.st_size : -1;
    } else if (method != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (base < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    if ((distance > 0 && base > INT64_MAX - distance) || base + distance < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    *target = base + distance;
    return true;
}

}  // namespace

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distanceHigh, DWORD method)
{
    auto file = File(handle);
    if (!file) return INVALID_SET_FILE_POINTER;
    const LONGLONG move =
        distanceHigh ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                             static_cast<DWORD>(distance))
                     : static_cast<LONGLONG>(distance);
    LONGLONG target = 0;
    if (!SeekTarget(file->fd, move, method, &target)) return INVALID_SET_FILE_POINTER;
    if (!distanceHigh && target > 0xFFFFFFFFLL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (::lseek(file->fd, target, SEEK_SET) < 0) {
        SetLastErrorFromErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<ULONGLONG>(target) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

BOOL SetFilePointerEx(HANDLE handle, LONGLONG distance, LONGLONG* newPosition, DWORD method)
{
    auto file = File(handle);
    if (!file) return FALSE;
    LONGLONG target = 0;
    if (!SeekTarget(file->fd, distance, method, &target)) return FALSE;
    if (::lseek(file->fd, target, SEEK_SET) < 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    if (newPosition) *newPosition = target;
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE handle, LONGLONG* size)
{
    auto file = File(handle);
    if (!file) return FALSE;
    if (!size) return Fail(ERROR_INVALID_PARAMETER);
    struct stat st;
    if (::fstat(file->fd, &st) != 0) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    *size = st.st_size;
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, DWORD* sizeHigh)
{
    LONGLONG size = 0;
    if (!GetFileSizeEx(handle, &size)) return INVALID_FILE_SIZE;
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(size) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL FlushFileBuffers(HANDLE handle)
{
    auto file = File(handle);
    if (!file) return FALSE;
    if (::fsync(file->fd) != 0 && errno != EINVAL && errno != EROFS) {
        SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL SetEndOfFile(HANDLE handle)
{
    auto file = File(handle);
    if (!file) return FALSE;
    const off_t position = ::lseek(file->fd, 0, SEEK_CUR);
    if (position < 0 || ::ftruncate(file->fd, position) != 0) {
        SetLastError(errno == EBADF || errno == EINVAL ? ERROR_ACCESS_DENIED : ErrnoToWinError(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR name)
{
    if (!name) return Fail(ERROR_INVALID_PARAMETER);
    if (::unlink(NativePath(name).c_str()) != 0) {
        SetLastError(errno == EISDIR ? ERROR_ACCESS_DENIED : ErrnoToWinError(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR name)
{
    if (!name) return Fail(ERROR_INVALID_PARAMETER);
    return DeleteFileA(WideToUtf8(name).c_str());
}

BOOL CloseHandle(HANDLE handle) { return HandleRelease(handle) != nullptr; }
