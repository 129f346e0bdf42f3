#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <new>
#include <string>
#include <strings.h>
#include <unistd.h>

#include "module_image.h"
#include "platform/kernel.h"
#include "wide_text.h"

namespace platform {
namespace {
void* MainProgram()
{
    static void* handle = dlopen(nullptr, RTLD_LAZY);
    return handle;
}
}  // namespace

const link_map* ModuleImage(HMODULE module)
{
    void* handle = module ? static_cast<void*>(module) : MainProgram();
    link_map* map = nullptr;
    if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0) return nullptr;
    return map;
}

const link_map* ImageOfAddress(const void* address)
{
    Dl_info info;
    link_map* map = nullptr;
    if (!address || dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) return nullptr;
    return map;
}

const link_map* OwnImage()
{
    static const link_map* image = ImageOfAddress(reinterpret_cast<const void*>(&OwnImage));
    return image;
}

std::string ImagePath(const link_map* image)
{
    std::string path = image && image->l_name && *image->l_name ? image->l_name : "";
    if (path.empty()) {  // the main program
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n > 0) path.assign(buffer, static_cast<size_t>(n));
        return path;
    }
    if (char* full = ::realpath(path.c_str(), nullptr)) {
        path = full;
        std::free(full);
    }
    return path;
}

void* ModuleOwnSymbol(HMODULE module, const char* name)
{
    void* handle = module ? static_cast<void*>(module) : MainProgram();
    if (!handle) return nullptr;
    void* symbol = dlsym(handle, name);
    if (!symbol || ImageOfAddress(symbol) != ModuleImage(module)) return nullptr;
    return symbol;
}

namespace {

// The modules of the original system that this platform provides itself, asked for by their bare
// file name as they are found in the system's folder there: the HTML Help control is the window
// layer's help viewer, which lies beside this library. So every host that loads the sending sheet
// has the viewer, whether or not it registered the viewer's class.
std::string ProvidedModulePath(const char* fileName)
{
    static constexpr struct {
        const char* name;
        const char* library;
    } kProvided[] = {{"hhctrl.ocx", "libfaxplatformui.so"}};
    for (const auto& module : kProvided)
        if (strcasecmp(fileName, module.name) == 0) {
            const std::string own = ImagePath(OwnImage());
            return own.substr(0, own.find_last_of('/') + 1) + module.library;
        }
    return {};
}

}  // namespace
}  // namespace platform

using namespace platform;

HMODULE LoadLibraryA(LPCSTR fileName)
{
    if (!fileName || !*fileName) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = nullptr;
    try {
        const std::string provided = ProvidedModulePath(fileName);
        handle = dlopen((provided.empty() ? NativePath(fileName) : provided).c_str(), RTLD_NOW | RTLD_LOCAL);
    } catch (const std::bad_alloc&) {  // the path's strings
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

HMODULE LoadLibraryW(LPCWSTR fileName)
{
    if (!fileName) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string narrow;
    try {
        narrow = WideToUtf8(fileName);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return LoadLibraryA(narrow.c_str());
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (!name) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const char* symbol = name;
    if (IS_INTRESOURCE(name)) {
        const DWORD ordinal = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(name));
        symbol = nullptr;
        const auto* table = static_cast<const FaxModuleOrdinal*>(ModuleOwnSymbol(module, FAX_MODULE_ORDINALS_SYMBOL));
        for (; table && table->name && !symbol; ++table)
            if (table->ordinal == ordinal) symbol = table->name;
        if (!symbol) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
    }
    void* address = ModuleOwnSymbol(module, symbol);
    if (!address) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE module)
{
    if (!module || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR name)
{
    if (!name) return static_cast<HMODULE>(MainProgram());
    // Already loaded only, and without keeping a reference, as the handle is borrowed.
    void* handle = dlopen(NativePath(name).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    dlclose(handle);
    return static_cast<HMODULE>(handle);
}

HMODULE ModuleFromAddress(const void* address)
{
    const link_map* image = ImageOfAddress(address);
    if (!image) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (!image->l_name || !*image->l_name) return static_cast<HMODULE>(MainProgram());
    void* handle = dlopen(image->l_name, RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    dlclose(handle);
    return static_cast<HMODULE>(handle);
}

namespace {

// Copies as much as fits with a terminator; a cut name returns size with ERROR_INSUFFICIENT_BUFFER.
template <typename Char>
DWORD CopyName(const std::basic_string<Char>& name, Char* buffer, DWORD size)
{
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (name.size() < size) {
        std::copy(name.begin(), name.end(), buffer);
        buffer[name.size()] = 0;
        return static_cast<DWORD>(name.size());
    }
    std::copy(name.begin(), name.begin() + (size - 1), buffer);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

}  // namespace

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    const link_map* image = ModuleImage(module);
    if (!image) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return CopyName(ImagePath(image), buffer, size);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    const link_map* image = ModuleImage(module);
    if (!image) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return CopyName(Utf8ToUtf16(ImagePath(image)), buffer, size);
}
