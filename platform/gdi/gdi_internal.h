// The records behind GDI handles, shared by the files of platform/gdi/ and its folders. Every object begins with
// an Object head; a handle is an index into one table plus a generation, so a stale or foreign
// handle is refused instead of followed.
//
// Adding a kind of drawing: make the object with NewObject<T>() (DeleteObject and SelectObject
// already handle pens and fonts through the Dc's slots); turn the shape into device pixels, as a
// pixman region or as rectangles, and paint it with BltRun, giving the brush (a pen's colour as an
// unregistered Brush record), the mix as Rop2ToRop3Code(dc.rop2) and the region as `shape`. BltRun
// applies the DC's clip, the bitmap's bounds, the brush origin and the colour rules.
#pragma once

#include <pixman.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/gdi.h"

namespace gdi {

enum class Kind : uint8_t { Dc = 1, Bitmap, Brush, Pen, Font, Region };

struct Object {
    Kind kind;
    bool stock = false;
    uint32_t selections = 0;  // how many DCs hold this object selected (not counted for stock
        // objects); read and written under SelectionLock()
    void (*destroy)(Object*) = nullptr;  // frees the object's record
    HGDIOBJ handle = nullptr;
    explicit Object(Kind k) : kind(k) {}
};

// Pixel storage of a bitmap. Rows are addressed top-down whatever the memory order: row y
// starts at row0 + y * rowStep.
// A DIB's own zeroed storage: a large bitmap's pages mapped from the system, which come zeroed
// and cost nothing until drawn on (the allocator would clear them itself once it keeps freed
// blocks of that size), a small one from calloc.
struct DibOwnedBytes {
    size_t mapped;  // bytes mapped, 0 when from calloc
    DibOwnedBytes() : mapped(0) {}
    void operator()(uint8_t* p) const;
};

struct Dib {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bpp = 0;
    bool topDown = true;
    uint32_t stride = 0;
    uint8_t* bits = nullptr;  // first byte of storage
    uint8_t* row0 = nullptr;
    ptrdiff_t rowStep = 0;
    std::vector<RGBQUAD> colors;  // colour table of indexed formats
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue of 16 and 32 bits
    std::unique_ptr<uint8_t[], DibOwnedBytes> owned;
    void* mappedView = nullptr;  // a file-mapping view to unmap on destruction

    uint8_t* Row(int32_t y) const { return row0 + y * rowStep; }
    uint64_t Bytes() const { return uint64_t(stride) * uint64_t(height); }
};

struct Bitmap : Object {
    Dib dib;
    bool dcDefault = false;  // a DC's default bitmap: DeleteObject leaves it to DeleteDC
    Bitmap() : Object(Kind::Bitmap) {}
    ~Bitmap();
};

struct Brush : Object {
    UINT style = BS_SOLID;  // BS_SOLID, BS_NULL or BS_DIBPATTERNPT
    COLORREF color = 0;
    Dib pattern;  // BS_DIBPATTERNPT: the brush's own copy
    Brush() : Object(Kind::Brush) {}
};

// Pens are drawn by the path and line code; the record lives here so that DCs and stock objects
// can hold them.
struct Pen : Object {
    UINT style = 0;
    int32_t width = 0;
    COLORREF color = 0;
    LOGBRUSH brush{};
    std::vector<DWORD> dashes;
    bool extended = false;
    Pen() : Object(Kind::Pen) {}
};

struct Region : Object {
    pixman_region32_t rgn;
    Region();
    ~Region();
};

struct Dc : Object {
    Bitmap* bitmap = nullptr;
    Bitmap* defaultBitmap = nullptr;  // the DC's own 1 x 1 one-bit bitmap, freed with the DC
    Brush* brush = nullptr;
    Pen* pen = nullptr;
    Object* font = nullptr;
    bool hasClip = false;
    pixman_region32_t clip;  // device pixels, valid when hasClip

    int mapMode = MM_TEXT;
    POINT windowOrg{0, 0};
    POINT viewportOrg{0, 0};
    SIZE windowExt{1, 1};
    SIZE viewportExt{1, 1};

    COLORREF textColor = 0x000000;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int stretchMode = BLACKONWHITE;
    UINT textAlign = TA_LEFT | TA_TOP;
    POINT brushOrg{0, 0};

    // State of the path, line and text code.
    int polyFillMode = ALTERNATE;
    float miterLimit = 10.0f;
    POINT currentPosition{0, 0};
    void* path = nullptr;  // the path code's record, freed with the DC by DcPathRelease
    // A printer DC's document (platform/print), released by DeleteDC before the DC's objects.
    void* printJob = nullptr;
    void (*printJobRelease)(HDC, void*) = nullptr;
    // Held by every call on the DC for its whole length (see DcCall); recursive, as some calls
    // make others on the same DC.
    std::recursive_mutex calls;

    Dc();
    ~Dc();
};

// Holds the call locks of one DC, or of two (a blit's destination and source, taken in an order
// that cannot deadlock), for a scope; null DCs are skipped.
class DcLock {
public:
    explicit DcLock(Dc* a, Dc* b = nullptr) : a_(a), b_(b == a ? nullptr : b)
    {
        if (a_ && b_) std::lock(a_->calls, b_->calls);
        else if (a_ || b_) (a_ ? a_ : b_)->calls.lock();
    }
    ~DcLock()
    {
        if (a_) a_->calls.unlock();
        if (b_) b_->calls.unlock();
    }
    DcLock(const DcLock&) = delete;
    DcLock& operator=(const DcLock&) = delete;

private:
    Dc* a_;
    Dc* b_;
};

// The DC behind a handle for the length of one call (null, with ERROR_INVALID_HANDLE, for a bad
// handle). Calls on one DC from several threads take turns: what a drawing call draws with (the
// selected bitmap, brush, pen, font and clip, the position, the colours) stays as it was and
// alive until the call ends, so another thread may select, deselect and delete objects on the
// same DC while it draws. Deleting the DC itself while another thread uses it remains the
// caller's fault, as on the real platform.
class DcCall {
public:
    explicit DcCall(HDC handle);
    DcCall(const DcCall&) = delete;
    DcCall& operator=(const DcCall&) = delete;
    operator Dc*() const { return dc_; }
    Dc* operator->() const { return dc_; }
    Dc& operator*() const { return *dc_; }

private:
    Dc* dc_;
    DcLock lock_;
};

// Frees a DC's path record (path_dc.cpp); null does nothing.
void DcPathRelease(void* path);
// The font a fresh DC holds (font.cpp); null when no face can be opened.
Object* DefaultFontObject();

// ---- Handle table (dc/object.cpp) ----
// Registers the object and gives it a handle; null (and ERROR_NOT_ENOUGH_MEMORY) when full.
HGDIOBJ HandleAdd(Object* object);
void HandleRemove(Object* object);
// The object behind a handle when it is of the given kind; otherwise null and
// ERROR_INVALID_HANDLE.
Object* HandleGet(HGDIOBJ handle, Kind kind);
Object* HandleGetAny(HGDIOBJ handle);

template <class T>
T* Get(HGDIOBJ handle);
template <>
inline Dc* Get<Dc>(HGDIOBJ h)
{
    return static_cast<Dc*>(HandleGet(h, Kind::Dc));
}
template <>
inline Bitmap* Get<Bitmap>(HGDIOBJ h)
{
    return static_cast<Bitmap*>(HandleGet(h, Kind::Bitmap));
}
template <>
inline Brush* Get<Brush>(HGDIOBJ h)
{
    return static_cast<Brush*>(HandleGet(h, Kind::Brush));
}
template <>
inline Pen* Get<Pen>(HGDIOBJ h)
{
    return static_cast<Pen*>(HandleGet(h, Kind::Pen));
}
template <>
inline Region* Get<Region>(HGDIOBJ h)
{
    return static_cast<Region*>(HandleGet(h, Kind::Region));
}

inline DcCall::DcCall(HDC handle) : dc_(Get<Dc>(handle)), lock_(dc_) {}

// Creates T, registers it and returns it; null on failure.
template <class T>
T* NewObject()
{
    T* object = new (std::nothrow) T();
    if (!object) return nullptr;
    object->destroy = [](Object* o) { delete static_cast<T*>(o); };
    if (!HandleAdd(object)) {
        delete object;
        return nullptr;
    }
    return object;
}
void DestroyObject(Object* object);  // removes the handle and frees

// ---- Stock objects (dc/stock.cpp) ----
Object* StockObject(int index);

// ---- Selections (dc/dc.cpp) ----
// Guards every object's selection count, so that selecting an object into one DC, releasing it
// from another and DeleteObject's "still selected" check never interleave.
std::mutex& SelectionLock();

// ---- DIB storage and pixels (dc/dib.cpp, dc/pixel.cpp) ----
uint64_t DibStride(int64_t width, int bpp);
// Sets the stride of a DIB whose width, height and depth are set; false (ERROR_NOT_ENOUGH_MEMORY)
// when its storage would exceed the largest bitmap accepted.
bool DibSetStride(Dib& dib);
// Checks a header and its colour table or masks and fills everything of dib except the
// storage. Sets the last error and returns false when the header is not acceptable.
bool DibFormatFromInfo(const BITMAPINFO* info, bool allowRle, Dib& dib, DWORD& compression);
// Sets row0/rowStep from bits and orientation.
void DibBindRows(Dib& dib);
bool DibAllocate(Dib& dib);  // owned zeroed storage
// A DIB over caller data (BI_RGB and BI_BITFIELDS point at it; RLE is decoded into owned rows).
bool DibFromPacked(const BITMAPINFO* info, const void* bits, Dib& dib);
// Byte offset of the rows in a packed DIB (header, masks, colour table).
size_t DibPackedHeaderBytes(const BITMAPINFO* info);

// RLE4 and RLE8 into a bottom-up bitmap of index pixels; false on damaged data.
bool RleDecode(const uint8_t* data, size_t size, Dib& dib, DWORD compression);

uint32_t PixelGet(const Dib& dib, int32_t x, int32_t y);
void PixelPut(uint8_t* row, int32_t x, int bpp, uint32_t value);
// A whole row of one pixel value: `width` pixels for 16 bits and more, else `stride` bytes.
void FillSolidRow(uint8_t* row, int32_t width, int bpp, uint32_t value, size_t stride);
uint32_t PixelRead(const uint8_t* row, int32_t x, int bpp);
COLORREF NativeToColor(const Dib& dib, uint32_t value);
// Nearest colour-table entry for indexed formats (lowest index on ties).
uint32_t ColorToNative(const Dib& dib, COLORREF color);
bool SameFormat(const Dib& a, const Dib& b);
// The bits of a pixel value that carry colour: 16- and 32-bit formats may leave bits unused.
uint32_t ColorBits(const Dib& dib);

// ---- Raster operations (blt/rop.cpp) ----
// Applies a ternary code to n bytes of destination with source and pattern bytes (either may be
// null when the code does not read it).
void Rop3Apply(uint8_t code, uint8_t* dst, const uint8_t* src, const uint8_t* pat, size_t n);
// Puts back the bits of a span's first and last byte that lie outside the span (keepFirst and
// keepLast mark them), from those bytes as they were before the span was painted.
inline void SpanEdgesRestore(uint8_t* d, int64_t n, uint8_t first, uint8_t last, uint8_t keepFirst, uint8_t keepLast)
{
    if (n == 1) {
        const uint8_t keep = keepFirst | keepLast;
        d[0] = uint8_t((first & keep) | (d[0] & ~keep));
    } else {
        d[0] = uint8_t((first & keepFirst) | (d[0] & ~keepFirst));
        d[n - 1] = uint8_t((last & keepLast) | (d[n - 1] & ~keepLast));
    }
}

inline bool RopNeedsSource(uint8_t code) { return ((code >> 2) ^ code) & 0x33; }
inline bool RopNeedsPattern(uint8_t code) { return ((code >> 4) ^ code) & 0x0F; }
// Binary mix (R2_BLACK .. R2_WHITE) of pen bits p over destination bits d.
inline uint32_t Rop2Bits(int mix, uint32_t p, uint32_t d)
{
    uint32_t table = uint32_t(mix - 1) & 15;  // bit (p << 1 | d) is the result
    uint32_t r = 0;
    if (table & 1) r |= ~p & ~d;
    if (table & 2) r |= ~p & d;
    if (table & 4) r |= p & ~d;
    if (table & 8) r |= p & d;
    return r;
}
// The ternary code that a mix gives when the pen is the pattern.
uint8_t Rop2ToRop3Code(int mix);

// ---- Mapping (dc/mapping.cpp) ----
bool MapPoint(const Dc& dc, int64_t x, int64_t y, int64_t& outX, int64_t& outY);

// ---- Blits (blt/blt_core.cpp) ----
// A source of pixels in device space for the raster core.
struct BltSource {
    const Dib* dib = nullptr;
    const Dc* dc = nullptr;  // null for a DIB given by the caller: colours come from its table
    int64_t x = 0, y = 0, width = 0, height = 0;  // signed extents; a negative one mirrors
};
struct BltRequest {
    Dc* dst = nullptr;
    int64_t x = 0, y = 0, width = 0, height = 0;  // device, signed extents
    uint8_t rop = 0xCC;
    uint8_t ropBack = 0xCC;  // where the mask is 0
    const Dib* mask = nullptr;
    int64_t maskX = 0, maskY = 0;
    const Brush* brush = nullptr;  // the pattern (the DC's brush unless FillRect gives one)
    BltSource src;
    bool hasSource = false;
    bool transparent = false;  // TransparentBlt: source pixels of this colour are not drawn
    COLORREF transparentColor = 0;
    // Limits drawing further to this device region: the line, path and polygon code paints its
    // spans through it, with the rectangle above set to the region's extents.
    const pixman_region32_t* shape = nullptr;
};
// Clips to the DC's bitmap and clip region and draws. False (with the last error) on bad input.
bool BltRun(const BltRequest& request);
// Nearest-pixel mapping of one axis: destination [d0, d0 + dn) onto source [s0, s0 + sn)
// (mirrored when asked), computed for destination coordinates [c0, c1). Source pixel of
// destination d: floor((2 (d - d0) + 1) sn / (2 dn)) from the near end.
struct Axis {
    std::vector<int32_t> map;  // source coordinate per destination coordinate from `first`, -1 outside
    int64_t first = 0;
    int64_t validBegin = 0, validEnd = 0;  // destination range whose source lies inside
};
void AxisBuild(Axis& axis, int64_t d0, int64_t dn, int64_t s0, int64_t sn, bool mirror, int64_t c0, int64_t c1,
               int64_t sourceSize);
// The device rectangle of a logical one (signed extents kept).
bool MapRect(const Dc& dc, int64_t x, int64_t y, int64_t w, int64_t h, int64_t& dx, int64_t& dy, int64_t& dw,
             int64_t& dh);

// ---- Painting spans (blt/blt_spans.cpp) ----
// Paints runs of device pixels as a scan converter makes them, with a brush by a ternary code
// that reads no source, through the DC's visible area: the pixels BltRun paints through a region
// of those runs, without the region. Runs come rows top to bottom, left to right within a row.
struct SpanPaint {
    Dc* dc = nullptr;
    const Brush* brush = nullptr;
    uint8_t rop = 0;
    bool idle = false;  // nothing to paint: no brush, or the code leaves the destination as it is
    pixman_region32_t visible;
    RECT extents{0, 0, 0, 0};  // of the visible area: the clip to give the scan
    const pixman_box32_t* boxes = nullptr;
    int boxCount = 0;
    int band = 0;  // first box of the band that holds the last row painted
    int cursor = 0;  // the box of that row where the last run began
    LONG lastRow = 0;
    // A solid brush: the destination's bits of a row become (d & keepRow) ^ flipRow.
    std::vector<uint8_t> keepRow, flipRow;
    // Painting twice gives the pixels of painting once: (d & keep) ^ flip applied twice is
    // (d & keep) ^ (flip & keep) ^ flip, the same exactly where no bit is both kept and flipped.
    bool repeatable = false;
    std::vector<uint8_t> patternRow;  // a pattern brush's pixels at the destination's bit positions
    std::vector<uint32_t> lut;  // pattern pixel values of an indexed pattern, converted
};
void SpanPaintBegin(SpanPaint& paint, Dc& dc, const Brush& brush, uint8_t rop);
// A FillSpanSink: `context` is the SpanPaint.
void SpanPaintRun(void* context, LONG y, LONG left, LONG right);
// Whether runs may come in any order and cover a pixel more than once, with the pixels of
// painting their union once: a solid brush whose mix gives the same pixel however often it is
// applied, and a rectangle for the visible area.
bool SpanPaintRepeatable(const SpanPaint& paint);
// Whether runs may come as rows of bits (SpanPaintBits): one bit a pixel, a solid brush, and a
// rectangle for the visible area, inside which every bit handed over lies.
bool SpanPaintTakesBits(const SpanPaint& paint);
// A FillBitsSink: paints the pixels whose bits are set; bit i of bits[w] is column origin + 64 w + i.
void SpanPaintBits(void* context, LONG y, int64_t origin, const uint64_t* bits, size_t words);
void SpanPaintEnd(SpanPaint& paint);

// The DC's drawable area as a region: its clip intersected with the bitmap, in device pixels.
void DcVisibleRegion(const Dc& dc, pixman_region32_t* out);
int RegionTypeOf(const pixman_region32_t* region);

}  // namespace gdi
