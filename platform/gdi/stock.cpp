// Stock objects: made once on first use, shared by every DC, never deleted.
#include <mutex>

#include "gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

constexpr int kStockCount = NULL_PEN + 1;
Object* g_stock[kStockCount];
std::once_flag g_once;

template <class T> T* MakeStock() {
    T* object = NewObject<T>();
    if (object) object->stock = true;
    return object;
}

void MakeAll() {
    const COLORREF brushColors[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    for (int i = 0; i <= BLACK_BRUSH; ++i) {
        Brush* brush = MakeStock<Brush>();
        if (brush) brush->color = brushColors[i];
        g_stock[i] = brush;
    }
    Brush* nullBrush = MakeStock<Brush>();
    if (nullBrush) nullBrush->style = BS_NULL;
    g_stock[NULL_BRUSH] = nullBrush;
    const COLORREF penColors[] = {0xFFFFFF, 0x000000, 0x000000};
    for (int i = WHITE_PEN; i <= NULL_PEN; ++i) {
        Pen* pen = MakeStock<Pen>();
        if (pen) {
            pen->color = penColors[i - WHITE_PEN];
            pen->style = i == NULL_PEN ? 5u /* PS_NULL */ : 0u /* PS_SOLID */;
            pen->width = 1;
        }
        g_stock[i] = pen;
    }
}

}  // namespace

Object* StockObject(int index) {
    std::call_once(g_once, MakeAll);
    return index >= 0 && index < kStockCount ? g_stock[index] : nullptr;
}

}  // namespace gdi

HGDIOBJ GetStockObject(int index) {
    gdi::Object* object = gdi::StockObject(index);
    if (!object) {
        SetLastError(index >= 0 && index <= NULL_PEN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return object->handle;
}
