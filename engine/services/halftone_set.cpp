// Halftone sets: creation, loading from memory, module resources or files, and the parser of
// halftone files. Files and resources are parsed with their size known, so no offset, count or
// screen size in the file can make the parser read outside it.
#include <cstring>
#include <new>

#include "engine/common/byte_order.h"
#include "engine/common/file_map.h"
#include "engine/services/halftone.h"
#include "platform/kernel.h"

namespace {

constexpr uint64_t kHeadSize = sizeof(HalftoneSetFile);
constexpr uint64_t kEntrySize = sizeof(HalftoneSetFileEntry);
constexpr uint64_t kScreenHeadSize = 8;

void ScreenClear(HalftoneScreen* screen)
{
    delete[] screen->matrix;
    *screen = HalftoneScreen{};
}

// A memory source carries no size: its offsets are trusted up to the largest size the arithmetic
// below can hold.
constexpr uint64_t kUnknownSize = uint64_t{1} << 40;

}  // namespace

RASTREL_API ImxHalftoneSet* ImxHalftoneCreate(void)
{
    auto* set = new (std::nothrow) ImxHalftoneSet{};
    if (set == nullptr) return nullptr;
    set->color1Bit = HalftoneColor1Bit;
    set->image1Bit = HalftoneImage1Bit;
    set->imageCmyk1Bit = HalftoneImageCmyk1Bit;
    return set;
}

RASTREL_API void ImxHalftoneDestroy(ImxHalftoneSet* set)
{
    if (set == nullptr) return;
    for (HalftoneScreen& screen : set->screens) ScreenClear(&screen);
    delete set;
}

ImxStatus HalftoneSetParse(ImxHalftoneSet* set, const uint8_t* file, uint64_t size, uint32_t count,
                           const ImxHalftoneRequest* requests)
{
    if (size < kHeadSize || std::memcmp(file, HALFTONE_FILE_MAGIC, 4) != 0) return IMX_ERR_BAD_MAGIC;
    const uint32_t entries = LoadLE32(file + 4);
    if (entries > HALFTONE_SCREENS || kHeadSize + entries * kEntrySize > size) return IMX_ERR_BAD_MAGIC;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = nullptr;
        for (uint32_t e = 0; e < entries && entry == nullptr; ++e) {
            const uint8_t* candidate = file + kHeadSize + e * kEntrySize;
            if (LoadLE16(candidate) == requests[i].key && LoadLE16(candidate + 2) == requests[i].depth)
                entry = candidate;
        }
        if (entry == nullptr) return IMX_ERR_NOT_FOUND;
        if (requests[i].key >= HALFTONE_SCREENS) return IMX_ERR_UNSUPPORTED;
        HalftoneScreen& screen = set->screens[i];
        ScreenClear(&screen);
        const uint64_t offset = LoadLE32(entry + 4);
        const uint64_t screenSize = LoadLE32(entry + 8);
        if (screenSize < kScreenHeadSize || offset > size || screenSize > size - offset) return IMX_ERR_BAD_MAGIC;
        const uint8_t* head = file + offset;
        const uint32_t width = LoadLE16(head);
        const uint32_t height = LoadLE16(head + 2);
        const uint32_t perCell = LoadLE16(head + 4);
        const uint32_t bits = LoadLE16(head + 6);
        if (width == 0 || height == 0 || perCell == 0) return IMX_ERR_BAD_MAGIC;
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return IMX_ERR_BAD_MAGIC;
        if (bits != requests[i].depth) return IMX_ERR_ARGUMENT;
        const uint64_t rowBytes = uint64_t{width} * perCell;
        if (kScreenHeadSize + rowBytes * height > screenSize) return IMX_ERR_BAD_MAGIC;
        const uint32_t pitch = (width + 39) & ~31u;
        const uint64_t matrixSize = uint64_t{perCell} * height * pitch;
        auto* matrix = new (std::nothrow) uint8_t[matrixSize];
        if (matrix == nullptr) return IMX_ERR_NO_MEMORY;
        const uint8_t* thresholds = head + kScreenHeadSize;
        const uint64_t pitchBytes = uint64_t{pitch} * perCell;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = matrix + y * pitchBytes;
            const uint8_t* source = thresholds + y * rowBytes;
            for (uint64_t filled = 0; filled < pitchBytes;) {
                const uint64_t n = pitchBytes - filled < rowBytes ? pitchBytes - filled : rowBytes;
                std::memcpy(row + filled, source, n);
                filled += n;
            }
        }
        screen = HalftoneScreen{pitch, set->format.planes[i].colorantId, height, width, perCell, bits, matrix};
    }
    return IMX_OK;
}

RASTREL_API ImxStatus ImxHalftoneLoad(ImxHalftoneSet* set, const ImxDataSource* source, const ImxImageFormat* format,
                                      uint32_t count, const ImxHalftoneRequest* requests)
{
    if (set == nullptr || source == nullptr || format == nullptr || (count != 0 && requests == nullptr))
        return IMX_ERR_ARGUMENT;
    // The requests must describe the format plane by plane, and the set has five screens.
    if (count != format->planeCount || count > HALFTONE_SCREENS) return IMX_ERR_ARGUMENT;
    for (uint32_t i = 0; i < count; ++i)
        if (requests[i].depth != (format->planes[i].depth & 0xFF)) return IMX_ERR_ARGUMENT;
    set->format = *format;
    set->kind = ImageFormatKindGet(format);
    switch (source->kind) {
        case IMX_SOURCE_MEMORY:
            if (source->pointer == nullptr) return IMX_ERR_ARGUMENT;
            return HalftoneSetParse(set, static_cast<const uint8_t*>(source->pointer), kUnknownSize, count, requests);
        case IMX_SOURCE_RESOURCE: {
            auto module = static_cast<HMODULE>(const_cast<void*>(source->pointer));
            HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(source->resourceId), source->resourceType);
            if (found == nullptr) return IMX_ERR_NOT_FOUND;
            HGLOBAL loaded = LoadResource(module, found);
            const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
            if (bytes == nullptr) return IMX_ERR_LOAD;
            return HalftoneSetParse(set, static_cast<const uint8_t*>(bytes), SizeofResource(module, found), count,
                                    requests);
        }
        case IMX_SOURCE_FILE: {
            FileMap map{};
            const DWORD opened = FileMapOpen(&map, static_cast<const char*>(source->pointer), GENERIC_READ,
                                             FILE_SHARE_READ, OPEN_EXISTING, 0);
            if (opened != 0) return static_cast<ImxStatus>(opened);
            LONGLONG fileSize = 0;
            ImxStatus status = IMX_ERR_LOAD;
            if (GetFileSizeEx(map.file, &fileSize) && fileSize >= 0)
                status = HalftoneSetParse(set, static_cast<const uint8_t*>(map.view), static_cast<uint64_t>(fileSize),
                                          count, requests);
            FileMapClose(&map);
            return status;
        }
        default: return IMX_ERR_ARGUMENT;
    }
}
