// Stock objects: made on first use, shared by every DC, never deleted. One that could not be made
// for lack of memory is made again on a later use, so a process that once ran out can draw again.
#include <atomic>
#include <mutex>

#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

constexpr int kStockCount = NULL_PEN + 1;
Object* g_stock[kStockCount];
std::mutex g_lock;
std::atomic<bool> g_complete{false};

template <class T>
T* MakeStock()
{
    T* object = NewObject<T>();
    if (object) object->stock = true;
    return object;
}

// Makes the stock objects still missing; true when none is.
bool MakeMissing()
{
    const COLORREF brushColors[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    for (int i = 0; i <= BLACK_BRUSH; ++i) {
        if (g_stock[i]) continue;
        Brush* brush = MakeStock<Brush>();
        if (brush) brush->color = brushColors[i];
        g_stock[i] = brush;
    }
    if (!g_stock[NULL_BRUSH]) {
        Brush* nullBrush = MakeStock<Brush>();
        if (nullBrush) nullBrush->style = BS_NULL;
        g_stock[NULL_BRUSH] = nullBrush;
    }
    const COLORREF penColors[] = {0xFFFFFF, 0x000000, 0x000000};
    for (int i = WHITE_PEN; i <= NULL_PEN; ++i) {
        if (g_stock[i]) continue;
        Pen* pen = MakeStock<Pen>();
        if (pen) {
            pen->color = penColors[i - WHITE_PEN];
            pen->style = i == NULL_PEN ? 5u /* PS_NULL */ : 0u /* PS_SOLID */;
            pen->width = 1;
        }
        g_stock[i] = pen;
    }
    for (Object* object : g_stock)
        if (!object) return false;
    return true;
}

}  // namespace

Object* StockObject(int index)
{
    if (!g_complete.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> guard(g_lock);
        if (!g_complete.load(std::memory_order_relaxed) && MakeMissing())
            g_complete.store(true, std::memory_order_release);
    }
    return index >= 0 && index < kStockCount ? g_stock[index] : nullptr;
}

}  // namespace gdi

HGDIOBJ GetStockObject(int index)
{
    gdi::Object* object = gdi::StockObject(index);
    if (!object) {
        SetLastError(index >= 0 && index <= NULL_PEN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return object->handle;
}
