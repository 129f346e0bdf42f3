#include "engine/common/file_map.h"

namespace {

// The failing call's error; a failure that left none is still reported as one.
DWORD LastErrorOrFailure()
{
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : static_cast<DWORD>(ERROR_INVALID_FUNCTION);
}

}  // namespace

DWORD FileMapOpen(FileMap* map, LPCSTR name, DWORD access, DWORD share, DWORD disposition, DWORD mappingSize)
{
    if (map == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *map = FileMap{};
    if (name == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const bool readOnly = access == GENERIC_READ;
    HANDLE file = CreateFileA(name, access, share, nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        return LastErrorOrFailure();
    }
    HANDLE mapping =
        CreateFileMappingA(file, nullptr, readOnly ? PAGE_READONLY : PAGE_READWRITE, 0, mappingSize, nullptr);
    if (mapping == nullptr) {
        const DWORD error = LastErrorOrFailure();
        CloseHandle(file);
        return error;
    }
    void* view = MapViewOfFile(mapping, readOnly ? FILE_MAP_READ : FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
    if (view == nullptr) {
        const DWORD error = LastErrorOrFailure();
        CloseHandle(mapping);
        CloseHandle(file);
        return error;
    }
    map->file = file;
    map->mapping = mapping;
    map->view = view;
    return ERROR_SUCCESS;
}

DWORD FileMapClose(FileMap* map)
{
    if (map == nullptr) {
        return ERROR_SUCCESS;
    }
    if (map->view != nullptr) {
        UnmapViewOfFile(map->view);
    }
    if (map->mapping != nullptr) {
        CloseHandle(map->mapping);
    }
    if (map->file != nullptr) {
        CloseHandle(map->file);
    }
    *map = FileMap{};
    return ERROR_SUCCESS;
}
