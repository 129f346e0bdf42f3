#include <cerrno>
#include <sys/stat.h>

#include "platform/kernel.h"
#include "wide_text.h"

BOOL CreateDirectoryW(LPCWSTR name, SECURITY_ATTRIBUTES*)
{
    if (!name || !*name) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const std::string path = platform::NativePath(platform::WideToUtf8(name));
    if (::mkdir(path.c_str(), 0777) == 0) return TRUE;
    if (errno == EEXIST) SetLastError(ERROR_ALREADY_EXISTS);
    else if (errno == ENOENT) SetLastError(ERROR_PATH_NOT_FOUND);
    else SetLastErrorFromErrno();
    return FALSE;
}
