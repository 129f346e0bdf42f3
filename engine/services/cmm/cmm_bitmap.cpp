// Bitmap objects: set-up, attach and detach.
#include "engine/services/cmm/cmm_bitmap.h"

namespace {

size_t OrderBytes(uint32_t channels) { return sizeof(uint32_t) * (channels == 0 ? 1 : channels); }

void BitmapReattach(CmmGlobals*, CmmObject* handle)
{
    CmmBitmap* bitmap = CmmBitmapOf(handle);
    bitmap->order = bitmap->orderArray;
    if (bitmap->ownsPixels != 0)
        bitmap->pixels = reinterpret_cast<uint8_t*>(bitmap->orderArray) + OrderBytes(bitmap->channels);
}

}  // namespace

void CmmBitmapSetup(CmmGlobals* g, CmmObject* handle, uint32_t channels, uint32_t width, uint32_t rows,
                    uint32_t bytesPerPixel, uint32_t stride, const uint32_t* order, bool ownsPixels,
                    const uint8_t* pixels)
{
    CmmObjectInit(handle, CMM_TYPE_BITMAP);
    if (CmmFailed(g)) return;
    const uint64_t pixelSize = bytesPerPixel != 0 ? bytesPerPixel : channels;
    const uint64_t rowBytes = stride != 0 ? stride : uint64_t{width} * pixelSize;
    const uint64_t pixelBytes = rowBytes * rows;
    bool valid = channels >= 1 && channels <= CMM_BITMAP_MAX_CHANNELS && rowBytes <= UINT32_MAX &&
                 pixelBytes <= UINT32_MAX && pixelSize <= 255 && rowBytes >= uint64_t{width} * pixelSize;
    for (uint32_t i = 0; valid && order != nullptr && i < channels; ++i) valid = order[i] < pixelSize;
    const uint64_t bodySize = offsetof(CmmBitmap, orderArray) + OrderBytes(channels) + (ownsPixels ? pixelBytes : 0);
    if (!valid || bodySize > UINT32_MAX) {
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    handle->bodySize = static_cast<uint32_t>(bodySize);
    CmmObjectAllocate(g, handle);
    if (handle->block == nullptr) return;
    CmmBitmap* bitmap = CmmBitmapOf(handle);
    CmmObjectSetSlot(handle, CMM_SLOT_LIFECYCLE, &bitmap->lifecycle);
    bitmap->lifecycle.reattach = BitmapReattach;
    bitmap->channels = channels;
    bitmap->width = width;
    bitmap->rows = rows;
    bitmap->ownsPixels = ownsPixels ? 1 : 0;
    bitmap->stride = static_cast<uint32_t>(rowBytes);
    bitmap->bytesPerPixel = static_cast<uint32_t>(pixelSize);
    bitmap->pixelBytes = static_cast<uint32_t>(pixelBytes);
    for (uint32_t i = 0; i < channels; ++i) bitmap->orderArray[i] = order != nullptr ? order[i] : i;
    BitmapReattach(g, handle);
    if (pixels != nullptr) {
        if (ownsPixels) CmmCopyBytes(bitmap->pixels, pixels, pixelBytes);
        else bitmap->pixels = const_cast<uint8_t*>(pixels);
    }
}

void CmmBitmapAttach(CmmGlobals* g, CmmObject* handle, uint32_t rows, const uint8_t* pixels)
{
    if (CmmFailed(g) || handle == nullptr || handle->type != CMM_TYPE_BITMAP || handle->body == nullptr) return;
    CmmBitmap* bitmap = CmmBitmapOf(handle);
    if (bitmap->ownsPixels == 0) {
        bitmap->rows = rows;
        bitmap->pixels = const_cast<uint8_t*>(pixels);
        return;
    }
    // Owned pixels have the room of the rows the bitmap was made with, no more.
    if (rows > bitmap->pixelBytes / (bitmap->stride == 0 ? 1 : bitmap->stride) && bitmap->stride != 0) {
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    bitmap->rows = rows;
    if (pixels != nullptr) CmmCopyBytes(bitmap->pixels, pixels, uint64_t{bitmap->stride} * rows);
}

void CmmBitmapDetachCopy(CmmGlobals* g, CmmObject* handle, uint32_t* rows, uint8_t* destination)
{
    if (CmmFailed(g) || handle == nullptr || handle->type != CMM_TYPE_BITMAP || handle->body == nullptr) return;
    const CmmBitmap* bitmap = CmmBitmapOf(handle);
    if (rows != nullptr) *rows = bitmap->rows;
    if (bitmap->ownsPixels != 0 && destination != nullptr)
        CmmCopyBytes(destination, bitmap->pixels, uint64_t{bitmap->stride} * bitmap->rows);
}
