#include <algorithm>
#include <cstring>
#include <mutex>

#include "module_image.h"
#include "platform/kernel.h"
#include "platform/resources.h"
#include "wide_text.h"

namespace platform {
namespace {

struct Registry {
    std::mutex lock;
    FaxResourceTable* head = nullptr;
};

// Constant-initialised, so registrations from static constructors of any image find it ready.
// It holds no memory of its own: the tables are the images' own static data, linked together.
constinit Registry tables;

Registry& Tables() { return tables; }

// A key as the caller gave it: an integer id or UTF-8 text.
struct Wanted {
    bool isId;
    WORD id;
    std::string text;
};

Wanted FromNarrow(LPCSTR key)
{
    if (IS_INTRESOURCE(key)) return {true, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(key)), {}};
    return {false, 0, key};
}

Wanted FromWide(LPCWSTR key)
{
    if (IS_INTRESOURCE(key)) return {true, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(key)), {}};
    return {false, 0, WideToUtf8(key)};
}

bool Matches(const FaxResourceKey& key, const Wanted& wanted)
{
    if (wanted.isId) return !key.name && key.id == wanted.id;
    return key.name && EqualNoCase(key.name, wanted.text);
}

HRSRC Find(HMODULE module, const Wanted& name, const Wanted& type)
{
    const link_map* image = ModuleImage(module);
    bool typeSeen = false;
    // The lock is held while the entries are compared: an image cannot unregister its tables
    // (unload) while another thread walks them.
    Registry& registry = Tables();
    std::lock_guard guard(registry.lock);
    for (const FaxResourceTable* table = image ? registry.head : nullptr; table; table = table->next) {
        if (table->image != image) continue;
        for (size_t i = 0; i < table->count; ++i) {
            const FaxResource& entry = table->entries[i];
            if (!Matches(entry.type, type)) continue;
            typeSeen = true;
            if (Matches(entry.name, name)) return reinterpret_cast<HRSRC>(const_cast<FaxResource*>(&entry));
        }
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

const unsigned char kEmpty[1] = {0};

}  // namespace

void ResourceTableRegister(FaxResourceTable* table)
{
    table->image = ImageOfAddress(table);
    Registry& registry = Tables();
    std::lock_guard guard(registry.lock);
    table->next = registry.head;
    registry.head = table;
}

void ResourceTableUnregister(FaxResourceTable* table)
{
    Registry& registry = Tables();
    std::lock_guard guard(registry.lock);
    FaxResourceTable** link = &registry.head;
    while (*link && *link != table) link = &(*link)->next;
    if (*link) *link = table->next;
}

}  // namespace platform

using namespace platform;

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type)
{
    if (!name || !type) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Find(module, FromNarrow(name), FromNarrow(type));
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    if (!name || !type) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Find(module, FromWide(name), FromWide(type));
}

HGLOBAL LoadResource(HMODULE, HRSRC resource)
{
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const auto* entry = reinterpret_cast<const FaxResource*>(resource);
    // An entry that declares bytes but holds none is a damaged table: say so, as the system does
    // for a resource whose data cannot be found, rather than hand out bytes that are not there.
    if (!entry->data && entry->size) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return const_cast<void*>(entry->data ? entry->data : kEmpty);
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE, HRSRC resource)
{
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return reinterpret_cast<const FaxResource*>(resource)->size;
}

BOOL FreeResource(HGLOBAL) { return FALSE; }

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size)
{
    if (!buffer || size < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (size > 0) buffer[0] = 0;
    const HRSRC block = FindResourceA(instance, MAKEINTRESOURCEA((id >> 4) + 1), MAKEINTRESOURCEA(RT_STRING_ID));
    if (!block) return 0;
    const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(instance, block)));
    const size_t total = SizeofResource(instance, block);
    // Walk the block's counted strings, each checked against the block's size.
    size_t at = 0;
    for (UINT index = 0;; ++index) {
        if (at + 2 > total) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return 0;
        }
        const size_t length = bytes[at] | (bytes[at + 1] << 8);
        if (at + 2 + 2 * length > total) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return 0;
        }
        if (index == (id & 15)) {
            const unsigned char* text = bytes + at + 2;
            if (size == 0) {
                LPCWSTR pointer = reinterpret_cast<LPCWSTR>(text);
                std::memcpy(buffer, &pointer, sizeof pointer);
                return static_cast<int>(length);
            }
            const size_t copied = std::min(length, static_cast<size_t>(size - 1));
            for (size_t i = 0; i < copied; ++i) buffer[i] = static_cast<WCHAR>(text[2 * i] | (text[2 * i + 1] << 8));
            buffer[copied] = 0;
            return static_cast<int>(copied);
        }
        at += 2 + 2 * length;
    }
}
