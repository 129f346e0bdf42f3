// Memory device contexts: creation, selection and the simple drawing state.
#include <mutex>
#include <new>

#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {

Dc::Dc() : Object(Kind::Dc) { pixman_region32_init(&clip); }
Dc::~Dc()
{
    DcPathRelease(path);
    pixman_region32_fini(&clip);
}

std::mutex& SelectionLock()
{
    // Outlives static destructors, like the handle table, and is made without the heap.
    alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
    static std::mutex* lock = new (storage) std::mutex;
    return *lock;
}

namespace {

// Stock objects are shared by every thread's DCs and never deleted, so only other objects count
// their selections. The caller holds SelectionLock().
void Hold(Object* object)
{
    if (object && !object->stock) object->selections++;
}

void Release(Object* object)
{
    if (object && !object->stock) object->selections--;
}

template <class T>
HGDIOBJ Swap(T*& slot, T* object)
{
    T* previous = slot;
    if (previous == object) return object->handle;
    Hold(object);
    Release(previous);
    slot = object;
    return previous ? previous->handle : nullptr;
}

// A fresh DC draws into a 1 x 1 one-bit bitmap of its own, so that DCs on different threads
// never share pixels.
Bitmap* DefaultBitmapCreate()
{
    Bitmap* bitmap = NewObject<Bitmap>();
    if (!bitmap) return nullptr;
    Dib& dib = bitmap->dib;
    dib.width = dib.height = 1;
    dib.bpp = 1;
    dib.stride = 4;
    bool made = true;
    try {
        dib.colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    } catch (const std::bad_alloc&) {
        made = false;
    }
    if (!made || !DibAllocate(dib)) {
        DestroyObject(bitmap);
        return nullptr;
    }
    bitmap->dcDefault = true;
    return bitmap;
}

}  // namespace
}  // namespace gdi

using namespace gdi;

namespace {

// Sets one of the DC's integer modes when the value lies in its range; returns the previous mode,
// or 0 for a bad handle or value.
int DcModeSet(HDC handle, int Dc::*field, int lowest, int highest, int value)
{
    DcCall dc(handle);
    if (!dc) return 0;
    if (value < lowest || value > highest) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int previous = dc->*field;
    dc->*field = value;
    return previous;
}

}  // namespace

HDC CreateCompatibleDC(HDC)
{
    Brush* brush = static_cast<Brush*>(StockObject(WHITE_BRUSH));
    Pen* pen = static_cast<Pen*>(StockObject(BLACK_PEN));
    Bitmap* bitmap = brush && pen ? DefaultBitmapCreate() : nullptr;
    Dc* dc = bitmap ? NewObject<Dc>() : nullptr;
    if (!dc) {
        if (bitmap) DestroyObject(bitmap);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(SelectionLock());
    dc->defaultBitmap = bitmap;
    Swap(dc->bitmap, bitmap);
    Swap(dc->brush, brush);
    Swap(dc->pen, pen);
    if (Object* font = DefaultFontObject()) Swap(dc->font, font);
    return static_cast<HDC>(dc->handle);
}

BOOL DeleteDC(HDC handle)
{
    // A printer DC first gives back its page bitmap, which needs the lock below itself.
    if (Dc* printer = Get<Dc>(handle); printer && printer->printJobRelease) {
        void* job = printer->printJob;
        printer->printJob = nullptr;
        auto release = printer->printJobRelease;
        printer->printJobRelease = nullptr;
        release(handle, job);
    }
    Dc* dc = Get<Dc>(handle);
    if (!dc) return FALSE;
    {
        // A call on the DC still running on another thread ends first (the call lock comes
        // before the selection lock, as in SelectObject); later lookups fail.
        std::lock_guard<std::recursive_mutex> call(dc->calls);
        std::lock_guard<std::mutex> guard(SelectionLock());
        if (Get<Dc>(handle) != dc) return FALSE;  // deleted meanwhile
        Release(dc->bitmap);
        Release(dc->brush);
        Release(dc->pen);
        Release(dc->font);
        // The default bitmap goes with its DC unless another DC has it selected; it is then an
        // ordinary bitmap that its holder deletes.
        Bitmap* own = dc->defaultBitmap;
        if (own->selections == 0) DestroyObject(own);
        else own->dcDefault = false;
        HandleRemove(dc);
    }
    dc->destroy(dc);
    return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ objectHandle)
{
    DcCall dc(handle);
    if (!dc) return nullptr;
    std::unique_lock<std::mutex> guard(SelectionLock());
    // Looked up under the lock: DeleteObject cannot free the object between here and Hold.
    Object* object = HandleGetAny(objectHandle);
    if (!object) return nullptr;
    switch (object->kind) {
        case Kind::Bitmap: {
            Bitmap* bitmap = static_cast<Bitmap*>(object);
            if (bitmap != dc->bitmap && bitmap->selections > 0 && !bitmap->stock) {
                SetLastError(ERROR_INVALID_PARAMETER);  // already selected into another DC
                return nullptr;
            }
            return Swap(dc->bitmap, bitmap);
        }
        case Kind::Brush: return Swap(dc->brush, static_cast<Brush*>(object));
        case Kind::Pen: return Swap(dc->pen, static_cast<Pen*>(object));
        case Kind::Font: return Swap(dc->font, object);
        case Kind::Region: {
            guard.unlock();
            int type = SelectClipRgn(handle, static_cast<HRGN>(objectHandle));
            return type == ERROR ? HGDI_ERROR : reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(type));
        }
        case Kind::Dc: break;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

COLORREF SetTextColor(HDC handle, COLORREF color)
{
    DcCall dc(handle);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->textColor;
    dc->textColor = color & 0xFFFFFF;
    return previous;
}

COLORREF GetTextColor(HDC handle)
{
    DcCall dc(handle);
    return dc ? dc->textColor : CLR_INVALID;
}

COLORREF SetBkColor(HDC handle, COLORREF color)
{
    DcCall dc(handle);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->bkColor;
    dc->bkColor = color & 0xFFFFFF;
    return previous;
}

COLORREF GetBkColor(HDC handle)
{
    DcCall dc(handle);
    return dc ? dc->bkColor : CLR_INVALID;
}

int SetBkMode(HDC handle, int mode) { return DcModeSet(handle, &Dc::bkMode, TRANSPARENT, OPAQUE, mode); }

int GetBkMode(HDC handle)
{
    DcCall dc(handle);
    return dc ? dc->bkMode : 0;
}

int SetROP2(HDC handle, int mix) { return DcModeSet(handle, &Dc::rop2, R2_BLACK, R2_WHITE, mix); }

int GetROP2(HDC handle)
{
    DcCall dc(handle);
    return dc ? dc->rop2 : 0;
}

int SetStretchBltMode(HDC handle, int mode)
{
    return DcModeSet(handle, &Dc::stretchMode, BLACKONWHITE, HALFTONE, mode);
}

int GetStretchBltMode(HDC handle)
{
    DcCall dc(handle);
    return dc ? dc->stretchMode : 0;
}

UINT SetTextAlign(HDC handle, UINT align)
{
    DcCall dc(handle);
    if (!dc) return GDI_ERROR;
    UINT previous = dc->textAlign;
    dc->textAlign = align;
    return previous;
}

UINT GetTextAlign(HDC handle)
{
    DcCall dc(handle);
    return dc ? dc->textAlign : GDI_ERROR;
}

BOOL SetBrushOrgEx(HDC handle, int x, int y, LPPOINT previous)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (previous) *previous = dc->brushOrg;
    dc->brushOrg = {x, y};
    return TRUE;
}

BOOL GetBrushOrgEx(HDC handle, LPPOINT origin)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (!origin) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *origin = dc->brushOrg;
    return TRUE;
}
