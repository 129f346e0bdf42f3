// The file object behind a file handle, for the mapping and temporary-file code.
#pragma once

#include <string>
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

// Reads a whole file into `bytes`, retrying on EINTR. Returns 0, or the errno of the failure.
int ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes);

}  // namespace platform
