#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "platform/kernel.h"
#include "wide_text.h"

using namespace platform;

namespace {

std::string TempFolder()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}

// Copies text with its terminator when it fits; returns the length written, or the size needed
// including the terminator.
template <typename Char>
DWORD CopyOut(const std::basic_string<Char>& text, DWORD size, Char* buffer)
{
    if (!buffer || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

std::string TempName(const std::string& folder, const std::string& prefix, UINT number)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", number & 0xFFFFu);
    return folder + prefix + hex + ".tmp";
}

}  // namespace

DWORD GetTempPathA(DWORD size, LPSTR buffer) { return CopyOut(TempFolder(), size, buffer); }

DWORD GetTempPathW(DWORD size, LPWSTR buffer) { return CopyOut(Utf8ToUtf16(TempFolder()), size, buffer); }

namespace {

// Forms or creates <folder>/<prefix><hex>.tmp; the prefix is already cut to three characters.
UINT MakeTempFileName(LPCSTR path, const std::string& prefix, UINT unique, std::string* result)
{
    std::string folder = NativePath(path);
    if (folder.empty()) folder = "./";
    else if (folder.back() != '/') folder += '/';
    if (folder.size() + prefix.size() + 4 + 4 >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    unique &= 0xFFFFu;
    if (unique != 0) {
        *result = TempName(folder, prefix, unique);
        return unique;
    }
    // Numbers start from a value that differs per process and call, then count up until a name
    // is free; the file is created so that no other caller can take the same name.
    static std::atomic<unsigned> counter{0};
    const unsigned start = static_cast<unsigned>(::getpid()) * 2654435761u ^ static_cast<unsigned>(std::time(nullptr)) ^
                           (counter.fetch_add(7919) * 40503u);
    for (unsigned attempt = 0; attempt < 0xFFFFu; ++attempt) {
        const UINT number = ((start + attempt) % 0xFFFFu) + 1;
        std::string name = TempName(folder, prefix, number);
        int fd;
        do {
            fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            ::close(fd);
            *result = std::move(name);
            SetLastError(ERROR_SUCCESS);
            return number;
        }
        if (errno != EEXIST) {
            SetLastErrorFromErrno();
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

}  // namespace

UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR tempFileName)
{
    if (!path || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string name;
    const UINT number = MakeTempFileName(path, prefix ? std::string(prefix, strnlen(prefix, 3)) : "", unique, &name);
    if (number != 0) std::memcpy(tempFileName, name.c_str(), name.size() + 1);
    return number;
}

UINT GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName)
{
    if (!path || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string pre(prefix ? prefix : u"", std::min<size_t>(WideLength(prefix), 3));
    std::string name;
    const UINT number = MakeTempFileName(WideToUtf8(path).c_str(), Utf16ToUtf8(pre), unique, &name);
    if (number == 0) return 0;
    const std::u16string wide = Utf8ToUtf16(name);
    if (wide.size() >= MAX_PATH) {
        if ((unique & 0xFFFFu) == 0) ::unlink(name.c_str());
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    std::copy(wide.begin(), wide.end(), tempFileName);
    tempFileName[wide.size()] = 0;
    return number;
}
