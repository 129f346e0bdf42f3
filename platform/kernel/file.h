// The file object behind a file handle, for the mapping and temporary-file code.
#pragma once

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "kernel_object.h"

namespace platform {

struct FileObject : KernelObject {
    static constexpr ObjectKind Kind = ObjectKind::File;
    explicit FileObject(int descriptor, bool canWrite) : KernelObject(Kind), fd(descriptor), writable(canWrite) {}
    ~FileObject() override;
    const int fd;
    const bool writable;
};

// Opens a regular file for reading without waiting (a FIFO or a device is refused): 0 and the
// descriptor and its status, or an errno value.
int RegularFileOpen(const std::string& path, int* fd, struct stat* st);

// Reads a whole regular file into `bytes`, opened without blocking (a FIFO or device in its place
// is refused at once, EACCES) and retrying on EINTR. Returns 0, or the errno of the failure:
// EFBIG past maxBytes, ENOMEM when memory runs out (nothing is thrown).
int ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes, uint64_t maxBytes = UINT64_MAX);

}  // namespace platform
