#include "kernel_object.h"

#include <mutex>
#include <unordered_map>

#include "platform/kernel.h"

namespace platform {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> objects;
};

HandleTable& Table()
{
    static HandleTable* table = new HandleTable;  // never destroyed: handles may close at exit
    return *table;
}

}  // namespace

HANDLE HandleRegister(std::shared_ptr<KernelObject> object)
{
    HANDLE handle = object.get();
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    table.objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> HandleLookup(HANDLE handle, ObjectKind kind)
{
    HandleTable& table = Table();
    {
        std::lock_guard guard(table.lock);
        auto it = table.objects.find(handle);
        if (it != table.objects.end() && it->second->kind == kind) return it->second;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

std::shared_ptr<KernelObject> HandleRelease(HANDLE handle)
{
    HandleTable& table = Table();
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard guard(table.lock);
        auto it = table.objects.find(handle);
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        object = std::move(it->second);
        table.objects.erase(it);
    }
    return object;
}

}  // namespace platform
