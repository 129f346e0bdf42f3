// The software GDI: memory device contexts over device-independent bitmaps, brushes, raster
// operations, blits and regions. Every declaration here is ours; a note marks where a behaviour
// is our own choice. Coordinates given to drawing functions are logical and go through the DC's
// mapping; clip regions, brush origins and mask coordinates are device pixels.
//
// Threads: every function may run on any thread. Calls on one DC take turns (a blit takes its
// destination and source DCs together), so a thread may select, deselect and delete objects on
// a DC while another draws on it: the drawing keeps what it started with until it returns.
// Deleting a DC that another thread is still using is the caller's fault.
#pragma once

#include "platform/types.h"

// Declarations from here on are the platform library's exports.
#pragma GCC visibility push(default)

// ---- Records ----
#pragma pack(push, 1)
struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // positive: bottom-up rows; negative: top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;  // the byte count of RLE data; may be 0 for BI_RGB
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct BITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};
#pragma pack(pop)

struct RGNDATAHEADER {
    DWORD dwSize;  // 32
    DWORD iType;  // RDH_RECTANGLES
    DWORD nCount;
    DWORD nRgnSize;
    RECT rcBound;
};

struct RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];  // nCount RECTs
};

struct BLENDFUNCTION {
    BYTE BlendOp;
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;
};

struct LOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
};

// What GetObjectW tells of a bitmap.
struct BITMAP {
    LONG bmType;  // 0
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;  // bytes of a row, a multiple of 4
    WORD bmPlanes;  // 1
    WORD bmBitsPixel;
    LPVOID bmBits;  // the first byte of the pixel storage (every bitmap here is a DIB)
};

struct XFORM {
    float eM11, eM12, eM21, eM22, eDx, eDy;
};

static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == 14 && offsetof(BITMAPINFOHEADER, biCompression) == 16);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20 && offsetof(BITMAPINFOHEADER, biClrUsed) == 32);
static_assert(sizeof(BITMAPINFO) == 44);
static_assert(sizeof(BITMAPFILEHEADER) == 14 && offsetof(BITMAPFILEHEADER, bfOffBits) == 10);
static_assert(sizeof(RGNDATAHEADER) == 32 && offsetof(RGNDATAHEADER, rcBound) == 16);
static_assert(offsetof(RGNDATA, Buffer) == 32);
static_assert(sizeof(BLENDFUNCTION) == 4);
static_assert(sizeof(LOGBRUSH) == 16);

// ---- Constants ----
#define BI_RGB 0u
#define BI_RLE8 1u
#define BI_RLE4 2u
#define BI_BITFIELDS 3u

#define DIB_RGB_COLORS 0u
#define DIB_PAL_COLORS 1u
#define CBM_INIT 4u

#define RDH_RECTANGLES 1u

// Region types (results of the region and clip functions).
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR ERROR

#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5

#define MM_TEXT 1
#define MM_ISOTROPIC 7
#define MM_ANISOTROPIC 8

// Stretch modes. COLORONCOLOR takes the nearest source pixel; when a blit shrinks, BLACKONWHITE
// and WHITEONBLACK AND or OR together (in destination pixel values) every source pixel that falls
// on a destination pixel; HALFTONE behaves as COLORONCOLOR here. A new DC has BLACKONWHITE.
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_ANDSCANS BLACKONWHITE
#define STRETCH_ORSCANS WHITEONBLACK
#define STRETCH_DELETESCANS COLORONCOLOR
#define STRETCH_HALFTONE HALFTONE

#define TRANSPARENT 1
#define OPAQUE 2

#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24

#define ALTERNATE 1
#define WINDING 2

// Binary raster operations (mixes).
#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16

// Ternary raster operations: the code is bits 16..23; the low word is ignored.
#define SRCCOPY 0x00CC0020u
#define SRCPAINT 0x00EE0086u
#define SRCAND 0x008800C6u
#define SRCINVERT 0x00660046u
#define SRCERASE 0x00440328u
#define NOTSRCCOPY 0x00330008u
#define NOTSRCERASE 0x001100A6u
#define MERGECOPY 0x00C000CAu
#define MERGEPAINT 0x00BB0226u
#define PATCOPY 0x00F00021u
#define PATPAINT 0x00FB0A09u
#define PATINVERT 0x005A0049u
#define DSTINVERT 0x00550009u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u
// MaskBlt: foreground code where the mask is 1 in bits 16..23, background code in bits 24..31.
#define MAKEROP4(fore, back) (static_cast<DWORD>((((back) << 8) & 0xFF000000u) | (fore)))

#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define BS_DIBPATTERN 5
#define BS_DIBPATTERNPT 6

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8

// Object types.
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_MEMDC 10
#define OBJ_EXTPEN 11

#define CLR_INVALID 0xFFFFFFFFu
#define GDI_ERROR 0xFFFFFFFFu
#define HGDI_ERROR (reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(-1)))

// ---- Device contexts and objects ----
// A memory DC; the reference DC is ignored (every DC here is a memory DC). The new DC holds the
// stock 1 x 1 one-bit bitmap, the white brush, the black pen and the default font (gdi_text.h),
// in MM_TEXT.
HDC CreateCompatibleDC(HDC reference);
// Deselects everything the DC holds and frees it.
BOOL DeleteDC(HDC dc);
// Returns the previous object of the same kind. A bitmap can be selected into one DC at a time
// (stock objects into any number) and only into a memory DC. A region is copied into the DC as
// its clip region and the result is the region type, cast to a handle.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Refuses (FALSE, ERROR_INVALID_PARAMETER) an object that is selected into a DC and keeps it
// (debug builds say so on stderr); stock objects are never deleted (TRUE).
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
DWORD GetObjectType(HGDIOBJ object);
// Bitmaps only here: fills a BITMAP (size at least sizeof(BITMAP)) and returns its size; with a
// null buffer returns the size it would write. Other objects and short buffers give 0
// (ERROR_INVALID_PARAMETER), a stale handle 0 (ERROR_INVALID_HANDLE).
int GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
// Brushes are realised at every use, so this only checks that the object is a brush.
BOOL UnrealizeObject(HGDIOBJ object);
// Drawing is synchronous: nothing to flush.
BOOL GdiFlush();

COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
int SetROP2(HDC dc, int mix);
int GetROP2(HDC dc);
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);
UINT SetTextAlign(HDC dc, UINT align);
UINT GetTextAlign(HDC dc);
// Device pixels; the pattern's pixel (0, 0) lies at the origin.
BOOL SetBrushOrgEx(HDC dc, int x, int y, LPPOINT previous);
BOOL GetBrushOrgEx(HDC dc, LPPOINT origin);

// ---- Mapping ----
// device = round((logical - window origin) * viewport extent / window extent) + viewport origin,
// halves away from zero. Changing the mode keeps the origins; MM_TEXT resets the extents to 1:1,
// the other modes keep the current extents. Extents are ignored in MM_TEXT; a zero extent fails.
// MM_ISOTROPIC shrinks one viewport extent so that both axes have the same scale.
int SetMapMode(HDC dc, int mode);
int GetMapMode(HDC dc);
BOOL SetWindowOrgEx(HDC dc, int x, int y, LPPOINT previous);
BOOL GetWindowOrgEx(HDC dc, LPPOINT origin);
BOOL SetViewportOrgEx(HDC dc, int x, int y, LPPOINT previous);
BOOL GetViewportOrgEx(HDC dc, LPPOINT origin);
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, LPPOINT previous);
BOOL SetWindowExtEx(HDC dc, int cx, int cy, LPSIZE previous);
BOOL GetWindowExtEx(HDC dc, LPSIZE extent);
BOOL SetViewportExtEx(HDC dc, int cx, int cy, LPSIZE previous);
BOOL GetViewportExtEx(HDC dc, LPSIZE extent);
// FALSE when a result does not fit 32 bits (the points before it are converted).
BOOL LPtoDP(HDC dc, LPPOINT points, int count);
BOOL DPtoLP(HDC dc, LPPOINT points, int count);

// ---- Bitmaps ----
// 1, 4, 8, 16, 24 or 32 bits, BI_RGB or BI_BITFIELDS (16 and 32 bits), DIB_RGB_COLORS. The
// section's rows follow the header's orientation and are padded to 4 bytes. With a section
// handle the bits live in that file mapping at the offset (a multiple of 4), through the kernel's
// MapViewOfFile; a program linked without file mappings fails with ERROR_CALL_NOT_IMPLEMENTED.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
// Our rule: the new bitmap has the format of the bitmap selected into dc (depth, masks and
// colour table); a null DC or a DC holding its default bitmap gives 24 bits. With CBM_INIT the
// data (any DIB format, RLE4 and RLE8 included) is converted colour by colour; colours that the
// bitmap cannot hold take the nearest colour-table entry. Damaged data fails (ERROR_INVALID_DATA)
// and makes no bitmap.
HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* data, const BITMAPINFO* info,
                       UINT usage);

// A bitmap resource (RT_BITMAP: a packed DIB, that is the header, its masks or colour table and
// the rows) of the module, made into a bitmap as CreateDIBitmap makes one without a DC (24 bits,
// top-down). A missing resource fails with FindResourceW's error; a resource whose header,
// colour table or rows do not lie inside it, or whose format is not a DIB's, fails with
// ERROR_INVALID_DATA, and nothing past the resource's bytes is read.
HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name);

// ---- Brushes ----
HBRUSH CreateSolidBrush(COLORREF color);
// A packed DIB (header, colour table, rows); the brush keeps its own copy.
HBRUSH CreateDIBPatternBrushPt(const void* packedDib, UINT usage);

// ---- Fills and blits ----
// Our rules for colours: a colour source into a 1-bit destination gives 1 where the pixel equals
// the source DC's background colour; a 1-bit source into any other destination takes 0 bits as
// the destination DC's text colour and 1 bits as its background colour; colours from a brush, a
// DIB or a blend take the nearest colour-table entry of an indexed destination. Bitmaps of the
// same depth and format copy their pixel values unchanged. A raster operation acts on the
// destination's pixel values bit by bit. With the null brush, operations that need the pattern
// draw nothing. PatBlt fails (ERROR_INVALID_PARAMETER) on a code that needs a source.
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
// PATCOPY with the given brush; the ROP2 mix does not apply.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
// Nearest source pixel; an extent of opposite sign to the other mirrors. Destination pixels whose
// source pixel lies outside the source bitmap are left as they are.
BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth, int srcHeight,
                DWORD rop);
// The source rectangle is in the DIB's own pixels, measured from its lower-left corner for a
// bottom-up DIB (upper-left for top-down). Returns the number of source rows, 0 on failure.
int StretchDIBits(HDC dc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth, int srcHeight,
                  const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);
// The mask is a 1-bit bitmap read in device pixels from (maskX, maskY) onward; pixels past its
// edge count as 0.
BOOL MaskBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, HBITMAP mask, int maskX,
             int maskY, DWORD rop);
// Constant alpha: d = (s * a + d * (255 - a) + 127) / 255. Per-pixel alpha (32-bit source, rows
// premultiplied): s and its alpha are scaled by the constant alpha first, then
// d = s + (d * (255 - alpha) + 127) / 255. Negative extents and source rectangles outside the
// source bitmap fail.
BOOL AlphaBlend(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth, int srcHeight,
                BLENDFUNCTION blend);
// Copies (stretched) every source pixel whose colour differs from the transparent colour.
BOOL TransparentBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth,
                    int srcHeight, UINT transparent);

// ---- Regions ----
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
// The transform must be null; the data is checked against its size.
HRGN ExtCreateRegion(const XFORM* transform, DWORD size, const RGNDATA* data);
int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode);
int OffsetRgn(HRGN region, int dx, int dy);
// Rectangles banded by y then x, with touching bands of equal spans merged. Returns the byte
// count needed when data is null, else the bytes written, 0 on failure.
DWORD GetRegionData(HRGN region, DWORD size, RGNDATA* data);
int GetRgnBox(HRGN region, LPRECT box);
BOOL PtInRegion(HRGN region, int x, int y);
BOOL RectInRegion(HRGN region, const RECT* rect);
BOOL EqualRgn(HRGN a, HRGN b);
// The DC keeps its own copy of the region, in device pixels; null removes the clip.
int SelectClipRgn(HDC dc, HRGN region);
// Combines with the current clip (no clip counts as the whole bitmap); RGN_COPY with null removes it.
int ExtSelectClipRgn(HDC dc, HRGN region, int mode);
// The clip's bounds (or the bitmap's without a clip) in logical units.
int GetClipBox(HDC dc, LPRECT box);

#pragma GCC visibility pop
