#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file.h"
#include "platform/kernel.h"

namespace platform {
namespace {

struct MappingObject : KernelObject {
    static constexpr ObjectKind Kind = ObjectKind::Mapping;
    MappingObject(int descriptor, uint64_t bytes, bool canWrite)
        : KernelObject(Kind), fd(descriptor), size(bytes), writable(canWrite)
    {}
    ~MappingObject() override { ::close(fd); }
    const int fd;  // a duplicate, so the mapping outlives the file handle as on Windows
    const uint64_t size;
    const bool writable;
};

struct View {
    void* base;
    size_t length;
};

// Views by the address handed out (which need not be page aligned).
struct ViewTable {
    std::mutex lock;
    std::map<const void*, View> views;
};

// Made in storage of its own, so that a first view taken when memory has run out fails to be
// recorded (and is unmapped), not to find a table; never destroyed, as views may close at exit.
ViewTable& Views()
{
    alignas(ViewTable) static unsigned char storage[sizeof(ViewTable)];
    static ViewTable* table = new (storage) ViewTable;
    return *table;
}

}  // namespace
}  // namespace platform

using namespace platform;

HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES*, DWORD protect, DWORD sizeHigh, DWORD sizeLow, LPCSTR)
{
    auto source = HandleGet<FileObject>(file);
    if (!source) return nullptr;
    const bool writable = protect == PAGE_READWRITE;
    if (!writable && protect != PAGE_READONLY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (writable && !source->writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    struct stat st;
    if (::fstat(source->fd, &st) != 0) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    uint64_t size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
    if (size == 0) size = static_cast<uint64_t>(st.st_size);
    if (size == 0) {
        SetLastError(ERROR_FILE_INVALID);
        return nullptr;
    }
    if (size > static_cast<uint64_t>(st.st_size)) {
        // A larger read-write mapping grows the file; a read-only one cannot.
        if (!writable) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (size > static_cast<uint64_t>(INT64_MAX) || ::ftruncate(source->fd, static_cast<off_t>(size)) != 0) {
            SetLastError(ERROR_DISK_FULL);
            return nullptr;
        }
    }
    const int fd = ::fcntl(source->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    std::shared_ptr<MappingObject> object;
    try {
        object = std::make_shared<MappingObject>(fd, size, writable);
    } catch (const std::bad_alloc&) {
        ::close(fd);  // the object that would close it was never made
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return HandleRegister(std::move(object));
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes)
{
    auto map = HandleGet<MappingObject>(mapping);
    if (!map) return nullptr;
    const bool write = (access & FILE_MAP_WRITE) != 0;
    if (write && !map->writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
    if (offset >= map->size || bytes > map->size - offset) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (bytes == 0) bytes = static_cast<SIZE_T>(map->size - offset);
    const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t start = offset / page * page;
    const size_t length = static_cast<size_t>(bytes + (offset - start));
    void* base = ::mmap(nullptr, length, write ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, map->fd,
                        static_cast<off_t>(start));
    if (base == MAP_FAILED) {
        SetLastError(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ErrnoToWinError(errno));
        return nullptr;
    }
    void* view = static_cast<unsigned char*>(base) + (offset - start);
    ViewTable& table = Views();
    std::lock_guard guard(table.lock);
    try {
        table.views[view] = View{base, length};
    } catch (const std::bad_alloc&) {
        ::munmap(base, length);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return view;
}

BOOL UnmapViewOfFile(LPCVOID view)
{
    View found{};
    {
        ViewTable& table = Views();
        std::lock_guard guard(table.lock);
        auto it = table.views.find(view);
        if (it == table.views.end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        found = it->second;
        table.views.erase(it);
    }
    ::munmap(found.base, found.length);
    return TRUE;
}
