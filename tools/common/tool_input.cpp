#include "tools/common/tool_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string TooLarge(const std::string& path, uint64_t limit)
{
    return "cannot read " + path + ": it has more than " + std::to_string(limit) + " bytes";
}

// Writes all of n bytes; false with errno set otherwise.
bool WriteAll(int fd, const uint8_t* data, size_t n)
{
    while (n > 0) {
        const ssize_t done = write(fd, data, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

}  // namespace

int ToolInputOpen(const std::string& path, bool* regular, uint64_t* size, std::string* error)
{
    const int fd = path == "-" ? dup(STDIN_FILENO) : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
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
        *error = TooLarge(path, limit);
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
            *error = TooLarge(path, limit);
            close(fd);
            return false;
        }
        bytes->insert(bytes->end(), piece, piece + got);
    }
    close(fd);
    return true;
}

bool ToolInputSeekable(const std::string& path, uint64_t limit, int* fd, uint64_t* size, std::string* error)
{
    struct stat st {};
    if (fstat(*fd, &st) == 0 && S_ISREG(st.st_mode)) {
        *size = static_cast<uint64_t>(st.st_size);
        if (*size <= limit && lseek(*fd, 0, SEEK_SET) == 0) return true;
        *error = *size > limit ? TooLarge(path, limit) : "cannot read " + path + ": " + std::strerror(errno);
        close(*fd);
        *fd = -1;
        return false;
    }
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/tool-input-XXXXXX";
    const int copy = mkostemp(name.data(), O_CLOEXEC);
    if (copy < 0) {
        *error = "cannot read " + path + ": no temporary file to hold it: " + std::strerror(errno);
        close(*fd);
        *fd = -1;
        return false;
    }
    unlink(name.c_str());
    uint64_t total = 0;
    uint8_t piece[65536];
    for (;;) {
        const ssize_t got = read(*fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) break;
        if (got > 0 && total + static_cast<uint64_t>(got) > limit) {
            *error = TooLarge(path, limit);
        } else if (got < 0) {
            *error = "cannot read " + path + ": " + std::strerror(errno);
        } else if (!WriteAll(copy, piece, static_cast<size_t>(got))) {
            *error = "cannot read " + path + ": writing its temporary copy failed: " + std::strerror(errno);
        } else {
            total += static_cast<uint64_t>(got);
            continue;
        }
        close(copy);
        close(*fd);
        *fd = -1;
        return false;
    }
    close(*fd);
    *fd = copy;
    *size = total;
    if (lseek(copy, 0, SEEK_SET) == 0) return true;
    *error = "cannot read " + path + ": " + std::strerror(errno);
    close(copy);
    *fd = -1;
    return false;
}
