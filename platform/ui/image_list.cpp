// Image lists: pictures cut from bitmaps through the GDI (a blit into a 32-bit section converts
// any depth the same way every other blit does) and kept as Qt images for the list views.
#include <QImage>
#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

#include "platform/gdi.h"
#include "ui_internal.h"

namespace platform::ui {
namespace {

struct ImageList {
    int cx;
    int cy;
    std::vector<QImage> pictures;
};

// The live lists: a handle is a list's address, accepted only while the list lives.
std::mutex listsLock;
std::set<ImageList*> lists;

ImageList* Find(HIMAGELIST handle)
{
    auto* list = reinterpret_cast<ImageList*>(handle);
    return lists.count(list) ? list : nullptr;
}

// The bitmap's top-left width x height pixels as 32-bit top-down rows (black where it has none);
// empty when the bitmap cannot be read.
std::vector<uint32_t> Pixels(HBITMAP bitmap, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section) return {};
    HDC to = CreateCompatibleDC(nullptr), from = CreateCompatibleDC(nullptr);
    HGDIOBJ toPrevious = SelectObject(to, section), fromPrevious = SelectObject(from, bitmap);
    std::vector<uint32_t> pixels;
    if (toPrevious && fromPrevious && BitBlt(to, 0, 0, width, height, from, 0, 0, SRCCOPY)) {
        const auto* words = static_cast<const uint32_t*>(bits);
        pixels.assign(words, words + size_t(width) * size_t(height));
    }
    if (fromPrevious) SelectObject(from, fromPrevious);
    if (toPrevious) SelectObject(to, toPrevious);
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(section);
    return pixels;
}

}  // namespace

QImage ImageListPicture(HIMAGELIST handle, int index)
{
    std::lock_guard guard(listsLock);
    const ImageList* list = Find(handle);
    if (!list || index < 0 || index >= static_cast<int>(list->pictures.size())) return {};
    return list->pictures[static_cast<size_t>(index)];
}

}  // namespace platform::ui

using namespace platform::ui;

HIMAGELIST ImageList_Create(int cx, int cy, UINT, int initial, int)
{
    if (cx <= 0 || cy <= 0 || cx > 256 || cy > 256) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* list = new ImageList{cx, cy, {}};
    list->pictures.reserve(static_cast<size_t>(std::clamp(initial, 0, 256)));
    std::lock_guard guard(listsLock);
    lists.insert(list);
    return reinterpret_cast<HIMAGELIST>(list);
}

int ImageList_Add(HIMAGELIST handle, HBITMAP image, HBITMAP)
{
    int cx, cy;
    {
        std::lock_guard guard(listsLock);
        const ImageList* list = Find(handle);
        if (!list) return -1;
        cx = list->cx;
        cy = list->cy;
    }
    BITMAP shape{};
    if (!image || !GetObjectW(image, sizeof shape, &shape) || shape.bmWidth < cx) return -1;
    const int count = shape.bmWidth / cx;
    const std::vector<uint32_t> pixels = Pixels(image, count * cx, cy);
    if (pixels.empty()) return -1;
    std::vector<QImage> cut;
    for (int i = 0; i < count; ++i) {
        QImage picture(cx, cy, QImage::Format_RGB32);
        for (int y = 0; y < cy; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(picture.scanLine(y));
            for (int x = 0; x < cx; ++x)
                row[x] = 0xFF000000u | (pixels[size_t(y) * size_t(count * cx) + size_t(i * cx + x)] & 0xFFFFFFu);
        }
        cut.push_back(std::move(picture));
    }
    std::lock_guard guard(listsLock);
    ImageList* list = Find(handle);  // destroyed meanwhile: nothing to add to
    if (!list) return -1;
    const int first = static_cast<int>(list->pictures.size());
    list->pictures.insert(list->pictures.end(), cut.begin(), cut.end());
    return first;
}

int ImageList_GetImageCount(HIMAGELIST handle)
{
    std::lock_guard guard(listsLock);
    const ImageList* list = Find(handle);
    return list ? static_cast<int>(list->pictures.size()) : 0;
}

BOOL ImageList_Destroy(HIMAGELIST handle)
{
    std::lock_guard guard(listsLock);
    ImageList* list = Find(handle);
    if (!list) return FALSE;
    lists.erase(list);
    delete list;
    return TRUE;
}
