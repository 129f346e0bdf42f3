#include "tools/common/tool_output.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The kernel's protected-symlinks rule, applied whatever the machine's setting: a link is followed
// only when it is the user's own or no other user can write to its folder (then whoever planted
// it could have written the file itself). Every link of a chain is checked; false with *error set
// for the first one that fails.
bool SymlinksSafe(const std::string& path, std::string* error)
{
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat link {};
        if (lstat(at.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return true;
        const std::string where = FolderOf(at);
        if (link.st_uid != geteuid()) {
            struct stat folder {};
            if (stat(where.c_str(), &folder) != 0) {
                *error = "cannot check the folder of " + at + ": " + std::strerror(errno);
                return false;
            }
            const bool othersWrite =
                (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (folder.st_uid != geteuid() && folder.st_uid != 0);
            if (othersWrite) {
                *error = "the output " + path +
                         " is a symbolic link of another user in a folder others can write to (" + where +
                         "); it is not followed";
                return false;
            }
        }
        std::string next(4096, '\0');
        const ssize_t length = readlink(at.c_str(), next.data(), next.size());
        if (length < 0) return true;  // gone meanwhile: the open that follows decides
        next.resize(static_cast<size_t>(length));
        at = next.starts_with('/') ? next : where + "/" + next;
    }
    return true;  // a loop: the open fails on it and says so
}

// A new file named beside `target`, made with mode 0666 so that the kernel applies the process's
// umask as for any new file; nothing existing is followed or replaced. -1 with errno on failure.
int TemporaryCreate(const std::string& target, std::string* temporary)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    uint64_t seed = uint64_t(getpid()) << 32 ^ reinterpret_cast<uintptr_t>(temporary);
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t random = 0;
        if (getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random))
            random = seed += 0x9E3779B97F4A7C15ull;
        static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
        char suffix[8];
        for (char& c : suffix) {
            c = kDigits[random % 62];
            random /= 62;
        }
        *temporary = folder + "." + base + "." + std::string(suffix, sizeof suffix);
        const int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

bool ToolOutputOpen(const std::string& path, int inputFd, ToolOutput* out, std::string* error)
{
    *out = ToolOutput{};
    out->path = path;
    struct stat outStat {
    }, inStat{};
    const bool exists = stat(path.c_str(), &outStat) == 0;
    if (exists && inputFd >= 0 && fstat(inputFd, &inStat) == 0 && outStat.st_dev == inStat.st_dev &&
        outStat.st_ino == inStat.st_ino) {
        *error = "the output " + path + " is the input itself";
        return false;
    }
    if (!SymlinksSafe(path, error)) return false;
    if (exists && !S_ISREG(outStat.st_mode)) {
        out->file = std::fopen(path.c_str(), "wb");
        if (out->file == nullptr) {
            *error = "cannot create " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    // Beside the file a symlink leads to, so that the rename replaces that file and not the link.
    std::string target = path;
    if (exists) {
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    std::string temporary;
    const int fd = TemporaryCreate(target, &temporary);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    // A replaced file keeps its mode; a new one has the mode the kernel gave the temporary file.
    if (exists && fchmod(fd, outStat.st_mode & 07777) != 0) {
        *error = "cannot give " + path + " its mode: " + std::strerror(errno);
        close(fd);
        unlink(temporary.c_str());
        return false;
    }
    out->file = fdopen(fd, "wb");
    if (out->file == nullptr) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        close(fd);
        unlink(temporary.c_str());
        return false;
    }
    out->path = target;
    out->temporary = temporary;
    return true;
}

bool ToolOutputClose(ToolOutput* out, std::string* error)
{
    if (out->file == nullptr) return true;
    int failure = std::fflush(out->file) == 0 ? 0 : errno;
    if (failure == 0 && !out->temporary.empty() && fsync(fileno(out->file)) != 0 && errno != EINVAL) failure = errno;
    if (std::fclose(out->file) != 0 && failure == 0) failure = errno;
    out->file = nullptr;
    if (failure == 0) return true;
    if (!out->temporary.empty()) unlink(out->temporary.c_str());
    *error = "writing " + out->path + " failed: " + std::strerror(failure);
    return false;
}

bool ToolOutputCommit(ToolOutput* out, std::string* error)
{
    if (!ToolOutputClose(out, error)) return false;
    if (!out->temporary.empty() && rename(out->temporary.c_str(), out->path.c_str()) != 0) {
        const int failure = errno;
        unlink(out->temporary.c_str());
        *error = "writing " + out->path + " failed: " + std::strerror(failure);
        return false;
    }
    return true;
}

void ToolOutputDiscard(ToolOutput* out)
{
    if (out->file != nullptr) std::fclose(out->file);
    out->file = nullptr;
    if (!out->temporary.empty()) unlink(out->temporary.c_str());
}
