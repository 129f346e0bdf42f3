// Handles this layer gives out (files, mappings, events) are keys of one table of live objects, so
// a stale or foreign handle is refused with ERROR_INVALID_HANDLE instead of being dereferenced. A
// handle carries its slot's generation, as GDI handles do, so the handle of a closed object stays
// refused when its slot is given to the next one.
#pragma once

#include <memory>

#include "platform/types.h"

namespace platform {

enum class ObjectKind { File, Mapping, Event };

struct KernelObject {
    explicit KernelObject(ObjectKind k) : kind(k) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    const ObjectKind kind;
};

// Adds the object to the table and returns its handle; null with ERROR_NOT_ENOUGH_MEMORY when the
// table cannot grow (the object is then released).
HANDLE HandleRegister(std::shared_ptr<KernelObject> object) noexcept;
// The live object behind a handle, when it is of the given kind; null with ERROR_INVALID_HANDLE
// otherwise.
std::shared_ptr<KernelObject> HandleLookup(HANDLE handle, ObjectKind kind);
// Removes the handle from the table; the object dies with its last user.
std::shared_ptr<KernelObject> HandleRelease(HANDLE handle);

template <typename T>
std::shared_ptr<T> HandleGet(HANDLE handle)
{
    return std::static_pointer_cast<T>(HandleLookup(handle, T::Kind));
}

}  // namespace platform
