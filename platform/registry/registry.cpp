#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "../kernel/file.h"
#include "../kernel/wide_text.h"
#include "platform/registry.h"

using namespace platform;

namespace {

struct OpenKey {
    std::string folder;  // the key's folder, without a trailing '/'
    REGSAM access;
};

struct KeyTable {
    std::mutex lock;
    std::unordered_map<HKEY, std::unique_ptr<OpenKey>> keys;
};

KeyTable& Keys()
{
    static KeyTable table;
    return table;
}

std::optional<std::string> RegistryFolder()
{
    if (const char* dir = std::getenv("FAXDRIVER_REGISTRY"); dir && *dir) return std::string(dir);
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/faxdriver/registry";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/faxdriver/registry";
    return std::nullopt;
}

const char* RootName(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    return nullptr;
}

// The folder and access of an open key or root.
bool Resolve(HKEY key, OpenKey* out)
{
    if (const char* root = RootName(key)) {
        auto folder = RegistryFolder();
        if (!folder) return false;
        *out = OpenKey{*folder + "/" + root, KEY_ALL_ACCESS};
        return true;
    }
    KeyTable& table = Keys();
    std::lock_guard guard(table.lock);
    auto it = table.keys.find(key);
    if (it == table.keys.end()) return false;
    *out = *it->second;
    return true;
}

// File names: '%' and '/' are escaped; a key may not begin with '.' (temporary files) or '='
// (values), so those are escaped at its start. Escapes are upper case, so comparing escaped
// names without regard to case compares the names.
std::string Escape(std::string_view name, bool isKey)
{
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '%') out += "%25";
        else if (c == '/') out += "%2F";
        else if (isKey && i == 0 && c == '.') out += "%2E";
        else if (isKey && i == 0 && c == '=') out += "%3D";
        else out += c;
    }
    return isKey ? out : "=" + out;
}

// The entry of a folder whose name matches without regard to case, or empty.
std::string FindEntry(const std::string& folder, const std::string& wanted, bool wantFolder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.empty() || name[0] == '.' || (name[0] == '=') == wantFolder) continue;
        if (EqualNoCase(name, wanted)) {
            found = name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::vector<std::string> SplitPath(std::string_view path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

HKEY AddKey(std::string folder, REGSAM access)
{
    auto key = std::make_unique<OpenKey>(OpenKey{std::move(folder), access});
    HKEY handle = reinterpret_cast<HKEY>(key.get());
    KeyTable& table = Keys();
    std::lock_guard guard(table.lock);
    table.keys.emplace(handle, std::move(key));
    return handle;
}

LSTATUS OpenKeyUtf8(HKEY key, const char* subKey, REGSAM access, HKEY* result, bool create, DWORD* disposition)
{
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey parent;
    if (!Resolve(key, &parent)) return ERROR_INVALID_HANDLE;
    std::string folder = parent.folder;
    bool createdAny = false;
    if (create && RootName(key)) {
        // The registry folder and its parents are made on the first write.
        for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
            ::mkdir(folder.substr(0, slash).c_str(), 0700);
        ::mkdir(folder.c_str(), 0700);
    }
    if (!IsFolder(folder)) return create ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    for (const std::string& part : SplitPath(subKey ? subKey : "")) {
        const std::string escaped = Escape(part, true);
        std::string entry = FindEntry(folder, escaped, true);
        if (entry.empty()) {
            if (!create) return ERROR_FILE_NOT_FOUND;
            if (::mkdir((folder + "/" + escaped).c_str(), 0700) != 0 && errno != EEXIST) return ErrnoToWinError(errno);
            createdAny = true;
            entry = FindEntry(folder, escaped, true);  // another process may have won with another case
            if (entry.empty()) return ERROR_FILE_NOT_FOUND;
        }
        folder += "/" + entry;
    }
    if (disposition) *disposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = AddKey(std::move(folder), access);
    return ERROR_SUCCESS;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

struct StoredValue {
    DWORD type;
    std::vector<BYTE> bytes;
};

// Reads a value file's type and at most limit bytes of its data; total receives the data's whole
// length. A caller that gives a buffer needs no more than the buffer holds: a value grown huge
// must cost the reader its size in a number, not its bytes in memory.
int ValueFileRead(const std::string& path, size_t limit, std::vector<BYTE>& bytes, uint64_t* total)
{
    bytes.clear();
    int fd;
    struct stat st {};
    if (const int error = platform::RegularFileOpen(path, &fd, &st); error != 0) return error;
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    const uint64_t wanted = std::min<uint64_t>(fileSize, limit > UINT64_MAX - 4 ? UINT64_MAX : 4 + uint64_t(limit));
    bytes.resize(static_cast<size_t>(wanted));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    // A file cut while it was read ends where the read ended.
    *total = (done < wanted ? done : fileSize) - std::min<uint64_t>(4, done < wanted ? done : fileSize);
    return 0;
}

LSTATUS ReadValue(HKEY key, const std::string& name, StoredValue* value, size_t limit = SIZE_MAX,
                  uint64_t* total = nullptr)
{
    OpenKey open;
    if (!Resolve(key, &open)) return ERROR_INVALID_HANDLE;
    if (!(open.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    const std::string entry = FindEntry(open.folder, Escape(name, false), false);
    if (entry.empty()) return ERROR_FILE_NOT_FOUND;
    std::vector<BYTE> bytes;
    uint64_t length = 0;
    if (const int error = ValueFileRead(open.folder + "/" + entry, limit, bytes, &length))
        return ErrnoToWinError(error);
    if (bytes.size() < 4) return ERROR_FILE_NOT_FOUND;  // not a value file
    value->type =
        static_cast<DWORD>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<DWORD>(bytes[3]) << 24));
    value->bytes.assign(bytes.begin() + 4, bytes.end());
    if (total) *total = length;
    return ERROR_SUCCESS;
}

LSTATUS WriteValue(HKEY key, const std::string& name, DWORD type, const BYTE* data, size_t size)
{
    OpenKey open;
    if (!Resolve(key, &open)) return ERROR_INVALID_HANDLE;
    if (!(open.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!IsFolder(open.folder)) return ERROR_FILE_NOT_FOUND;
    const std::string escaped = Escape(name, false);
    const std::string existing = FindEntry(open.folder, escaped, false);
    const std::string target = open.folder + "/" + (existing.empty() ? escaped : existing);

    static std::atomic<unsigned> counter{0};
    const std::string temporary = open.folder + "/.tmp-" + std::to_string(::getpid()) + "-" +
                                  std::to_string(GetCurrentThreadId()) + "-" + std::to_string(counter++);
    int fd;
    do {
        fd = ::open(temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return ErrnoToWinError(errno);
    std::vector<BYTE> file(4 + size);
    for (int i = 0; i < 4; ++i) file[i] = static_cast<BYTE>(type >> (8 * i));
    if (size) std::memcpy(file.data() + 4, data, size);
    size_t done = 0;
    while (done < file.size()) {
        const ssize_t n = ::write(fd, file.data() + done, file.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(temporary.c_str());
            return ErrnoToWinError(err);
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        return ErrnoToWinError(err);
    }
    return ERROR_SUCCESS;
}

// Hands a value to the caller as RegQueryValueEx does.
LSTATUS Deliver(const StoredValue& value, const std::vector<BYTE>& bytes, bool addTerminator, DWORD* type, BYTE* data,
                DWORD* size)
{
    if (type) *type = value.type;
    if (bytes.size() > 0xFFFFFFFFu) return ERROR_MORE_DATA;
    const DWORD needed = static_cast<DWORD>(bytes.size());
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (!size) return ERROR_INVALID_PARAMETER;
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(data, bytes.data(), needed);
    if (addTerminator && *size > needed && (needed == 0 || bytes.back() != 0)) data[needed] = 0;
    *size = needed;
    return ERROR_SUCCESS;
}

std::u16string WideFromBytes(const std::vector<BYTE>& bytes)
{
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

std::vector<BYTE> BytesFromWide(std::u16string_view text)
{
    std::vector<BYTE> bytes(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<BYTE>(text[i]);
        bytes[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
    }
    return bytes;
}

std::string NarrowName(LPCSTR name) { return name ? name : ""; }
std::string WideName(LPCWSTR name) { return WideToUtf8(name); }

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, HKEY* result)
{
    return OpenKeyUtf8(key, subKey, access, result, false, nullptr);
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, HKEY* result)
{
    return OpenKeyUtf8(key, WideName(subKey).c_str(), access, result, false, nullptr);
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, SECURITY_ATTRIBUTES*, HKEY* result,
                        DWORD* disposition)
{
    return OpenKeyUtf8(key, subKey, access, result, true, disposition);
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access, SECURITY_ATTRIBUTES*,
                        HKEY* result, DWORD* disposition)
{
    return OpenKeyUtf8(key, WideName(subKey).c_str(), access, result, true, disposition);
}

LSTATUS RegCloseKey(HKEY key)
{
    if (RootName(key)) return ERROR_SUCCESS;
    KeyTable& table = Keys();
    std::lock_guard guard(table.lock);
    return table.keys.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    StoredValue value;
    if (LSTATUS status = ReadValue(key, NarrowName(valueName), &value); status != ERROR_SUCCESS) return status;
    if (!IsStringType(value.type)) return Deliver(value, value.bytes, false, type, data, size);
    const std::string text = Utf16ToUtf8(WideFromBytes(value.bytes));
    return Deliver(value, std::vector<BYTE>(text.begin(), text.end()), true, type, data, size);
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    // No more is read than the caller's buffer takes; the length alone answers a larger value.
    const size_t limit = data && size ? *size : 0;
    StoredValue value;
    uint64_t total = 0;
    if (LSTATUS status = ReadValue(key, WideName(valueName), &value, limit, &total); status != ERROR_SUCCESS)
        return status;
    if (type) *type = value.type;
    if (total > 0xFFFFFFFFu) return ERROR_MORE_DATA;
    const DWORD needed = static_cast<DWORD>(total);
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (!size) return ERROR_INVALID_PARAMETER;
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(data, value.bytes.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    if (!data && size) return ERROR_INVALID_PARAMETER;
    if (!IsStringType(type)) return WriteValue(key, NarrowName(valueName), type, data, size);
    const std::vector<BYTE> wide =
        BytesFromWide(Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size)));
    return WriteValue(key, NarrowName(valueName), type, wide.data(), wide.size());
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    if (!data && size) return ERROR_INVALID_PARAMETER;
    return WriteValue(key, WideName(valueName), type, data, size);
}
