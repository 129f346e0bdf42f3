#include "tools/common/tool_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

int ToolInputOpen(const std::string& path, bool* regular, uint64_t* size, std::string* error)
{
    const int fd = path == "-" ? dup(STDIN_FILENO) : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st{};
    const char* reason = nullptr;
    if (fd < 0 || fstat(fd, &st) != 0) reason = std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) reason = std::strerror(EISDIR);
    else if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) reason = "not a regular file or pipe";
    if (reason != nullptr) {
        *error = "cannot read " + path + ": " + reason;
        if (fd >= 0) close(fd);
        return -1;
    }
    *regular = S_ISREG(st.st_mode);
    *size = *regular ? static_cast<uint64_t>(st.st_size) : 0;
    return fd;
}

bool ToolInputRead(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error)
{
    bool regular = false;
    uint64_t size = 0;
    const int fd = ToolInputOpen(path, &regular, &size, error);
    if (fd < 0) return false;
    bytes->clear();
    if (regular && size > limit) {
        close(fd);
        *error = "cannot read " + path + ": it has more than " + std::to_string(limit) + " bytes";
        return false;
    }
    bytes->reserve(regular ? size : 0);
    uint8_t piece[65536];
    for (;;) {
        const ssize_t got = read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *error = "cannot read " + path + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0) break;
        if (bytes->size() + static_cast<uint64_t>(got) > limit) {
            *error = "cannot read " + path + ": it has more than " + std::to_string(limit) + " bytes";
            close(fd);
            return false;
        }
        bytes->insert(bytes->end(), piece, piece + got);
    }
    close(fd);
    return true;
}
