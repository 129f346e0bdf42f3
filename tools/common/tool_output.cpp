#include "tools/common/tool_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

mode_t CurrentUmask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
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
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = folder + "." + base + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    // The finished file gets the mode the output had, or a new file's usual mode.
    fchmod(fd, exists ? (outStat.st_mode & 07777) : (0666 & ~CurrentUmask()));
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

bool ToolOutputCommit(ToolOutput* out, std::string* error)
{
    int failure = std::fflush(out->file) == 0 ? 0 : errno;
    if (failure == 0 && !out->temporary.empty() && fsync(fileno(out->file)) != 0 && errno != EINVAL) failure = errno;
    if (std::fclose(out->file) != 0 && failure == 0) failure = errno;
    out->file = nullptr;
    if (failure == 0 && !out->temporary.empty() && rename(out->temporary.c_str(), out->path.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        if (!out->temporary.empty()) unlink(out->temporary.c_str());
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
