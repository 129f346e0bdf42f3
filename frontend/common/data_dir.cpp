#include "frontend/common/data_dir.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary folder is shared by every user of this machine, so the data folder must be this
// user's own: a folder that another user made first (or a symlink planted under its name) could
// redirect the receivers' write or read the address book. A folder of ours that others can read
// or write (an older build's umask left it 0775) is closed to them and used.
DataFolderVerdict DataFolderCheck(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ELOOP || errno == ENOTDIR ? kDataFolderNotAFolder : kDataFolderUnopenable;
    struct stat st;
    DataFolderVerdict verdict = kDataFolderPrivate;
    if (::fstat(fd, &st) != 0) verdict = kDataFolderUnopenable;
    else if (st.st_uid != ::geteuid()) verdict = kDataFolderForeign;
    else if ((st.st_mode & 07777) != S_IRWXU && ::fchmod(fd, S_IRWXU) != 0) verdict = kDataFolderUnmendable;
    ::close(fd);
    return verdict;
}

}  // namespace

DataFolderVerdict FaxDataDirCheck(LPWSTR out, std::u16string* folder)
{
    constexpr DWORD kRoom = 1024;
    const std::u16string_view name = u"QUOBADAT";
    if (folder) folder->clear();
    DWORD length = GetTempPathW(kRoom, out);
    if (length == 0 || length + name.size() + 2 > kRoom) {
        out[0] = 0;
        return kDataFolderNoTemporary;
    }
    name.copy(out + length, name.size());
    length += static_cast<DWORD>(name.size());
    out[length] = 0;
    if (folder) folder->assign(out, length);
    const std::string path = NarrowPath(out);
    ::mkdir(path.c_str(), S_IRWXU);  // an existing folder is checked below like a new one
    const DataFolderVerdict verdict = DataFolderCheck(path);
    if (verdict != kDataFolderPrivate) {
        out[0] = 0;
        return verdict;
    }
    out[length] = u'/';  // this platform's separator, as GetTempPathW ends with it
    out[length + 1] = 0;
    return verdict;
}

bool FaxDataDirGet(LPWSTR out) { return FaxDataDirCheck(out, nullptr) == kDataFolderPrivate; }

std::u16string FaxDataFilePath(LPCWSTR folder, std::u16string_view prefix, std::u16string_view name)
{
    if (!folder || !folder[0]) return {};
    std::u16string path(folder);
    path.append(prefix);
    path.append(name);
    return path;
}

std::string NarrowPath(LPCWSTR path)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, -1, narrow.data(), n, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n - 1));
    return narrow;
}
