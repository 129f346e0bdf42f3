// Private font installation: AddFontResourceExA/W and RemoveFontResourceExA/W by file,
// AddFontMemResourceEx and RemoveFontMemResourceEx from memory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "../../kernel/wide_text.h"
#include "font_list.h"
#include "platform/gdi_text.h"
#include "platform/kernel.h"

using namespace gdi;

namespace {

constexpr uint64_t kMaxFontFile = uint64_t{1} << 30;

bool ReadWhole(const std::string& path, std::vector<uint8_t>& out)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ErrnoToWinError(errno));
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok || uint64_t(st.st_size) > kMaxFontFile) {
        SetLastError(ok ? ERROR_INVALID_DATA : ERROR_ACCESS_DENIED);
        close(fd);
        return false;
    }
    try {
        out.resize(size_t(st.st_size));
    } catch (const std::bad_alloc&) {
        close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            SetLastError(n < 0 ? ErrnoToWinError(errno) : ERROR_READ_FAULT);
            close(fd);
            return false;
        }
        done += size_t(n);
    }
    close(fd);
    return true;
}

int AddByPath(const std::string& path, DWORD flags, void* reserved)
{
    if (path.empty() || !(flags & FR_PRIVATE) || (flags & ~DWORD(FR_PRIVATE | FR_NOT_ENUM)) || reserved) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    if (!ReadWhole(platform::NativePath(path), *bytes)) return 0;
    int faces = 0;
    return FontListInstall(std::move(bytes), path, faces) ? faces : 0;
}

BOOL RemoveByPath(const std::string& path, DWORD flags, void* reserved)
{
    if (path.empty() || !(flags & FR_PRIVATE) || reserved) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return FontListRemove(0, &path) ? TRUE : FALSE;
}

}  // namespace

int AddFontResourceExA(LPCSTR path, DWORD flags, void* reserved)
{
    return AddByPath(path ? path : "", flags, reserved);
}

int AddFontResourceExW(LPCWSTR path, DWORD flags, void* reserved)
{
    return AddByPath(platform::WideToUtf8(path), flags, reserved);
}

BOOL RemoveFontResourceExA(LPCSTR path, DWORD flags, void* reserved)
{
    return RemoveByPath(path ? path : "", flags, reserved);
}

BOOL RemoveFontResourceExW(LPCWSTR path, DWORD flags, void* reserved)
{
    return RemoveByPath(platform::WideToUtf8(path), flags, reserved);
}

HANDLE AddFontMemResourceEx(const void* data, DWORD size, void* reserved, DWORD* faces)
{
    if (!data || size == 0 || reserved || !faces) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<std::vector<uint8_t>> bytes;
    try {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        bytes = std::make_shared<std::vector<uint8_t>>(p, p + size);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    int count = 0;
    const uint64_t id = FontListInstall(std::move(bytes), std::string(), count);
    *faces = DWORD(count);
    return id ? reinterpret_cast<HANDLE>(uintptr_t(id)) : nullptr;
}

BOOL RemoveFontMemResourceEx(HANDLE fonts)
{
    const uint64_t id = reinterpret_cast<uintptr_t>(fonts);
    if (!id) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return FontListRemove(id, nullptr) ? TRUE : FALSE;
}
