// The file object behind a file handle, for the mapping and temporary-file code.
#pragma once

#include "kernel_object.h"

namespace platform {

struct FileObject : KernelObject {
    static constexpr ObjectKind Kind = ObjectKind::File;
    explicit FileObject(int descriptor, bool canWrite) : KernelObject(Kind), fd(descriptor), writable(canWrite) {}
    ~FileObject() override;
    const int fd;
    const bool writable;
};

}  // namespace platform
