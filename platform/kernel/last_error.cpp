#include <cerrno>

#include "platform/kernel.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

DWORD ErrnoToWinError(int err)
{
    switch (err) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case EACCES:
        case EPERM:
        case EROFS:
        case ELOOP:  // a symlink not followed
        case ENXIO:  // a FIFO opened for writing without blocking, with no reader
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EEXIST: return ERROR_FILE_EXISTS;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case EPIPE: return ERROR_BROKEN_PIPE;
        case ENOSPC: return ERROR_DISK_FULL;
        case ENOSYS: return ERROR_CALL_NOT_IMPLEMENTED;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EBUSY:
        case ETXTBSY: return ERROR_SHARING_VIOLATION;
        case EFAULT: return ERROR_INVALID_ADDRESS;
        case EOVERFLOW:
        case ERANGE: return ERROR_ARITHMETIC_OVERFLOW;
        case EIO: return ERROR_READ_FAULT;
        default: return ERROR_INVALID_FUNCTION;
    }
}

DWORD SetLastErrorFromErrno()
{
    const DWORD code = ErrnoToWinError(errno);
    SetLastError(code);
    return code;
}
