// Private font installation: AddFontResourceExA/W and RemoveFontResourceExA/W by file,
// AddFontMemResourceEx and RemoveFontMemResourceEx from memory.
#include <cerrno>
#include <new>

#include "../../kernel/file.h"
#include "../../kernel/wide_text.h"
#include "font_list.h"
#include "platform/gdi_text.h"
#include "platform/kernel.h"

using namespace gdi;

namespace {

constexpr uint64_t kMaxFontFile = uint64_t{1} << 30;

// Reads the font file through the platform's one whole-file reader, which opens without blocking,
// so a FIFO or device in the file's place is refused at once.
bool ReadWhole(const std::string& path, std::vector<uint8_t>& out)
{
    const int error = platform::ReadWholeFile(path, out, kMaxFontFile);
    if (error == 0) return true;
    SetLastError(error == EFBIG ? DWORD{ERROR_INVALID_DATA} : ErrnoToWinError(error));
    return false;
}

int AddByPath(const std::string& path, DWORD flags, void* reserved)
{
    if (path.empty() || !(flags & FR_PRIVATE) || (flags & ~DWORD(FR_PRIVATE | FR_NOT_ENUM)) || reserved) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::shared_ptr<std::vector<uint8_t>> bytes;
    std::string native;
    try {
        bytes = std::make_shared<std::vector<uint8_t>>();
        native = platform::NativePath(path);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!ReadWhole(native, *bytes)) return 0;
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
    try {
        return AddByPath(path ? path : "", flags, reserved);
    } catch (const std::bad_alloc&) {  // the path's copy
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

int AddFontResourceExW(LPCWSTR path, DWORD flags, void* reserved)
{
    try {
        return AddByPath(platform::WideToUtf8(path), flags, reserved);
    } catch (const std::bad_alloc&) {  // the path's conversion
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL RemoveFontResourceExA(LPCSTR path, DWORD flags, void* reserved)
{
    try {
        return RemoveByPath(path ? path : "", flags, reserved);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL RemoveFontResourceExW(LPCWSTR path, DWORD flags, void* reserved)
{
    try {
        return RemoveByPath(platform::WideToUtf8(path), flags, reserved);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
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
