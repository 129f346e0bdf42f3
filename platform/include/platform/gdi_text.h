// Text of the software GDI: logical fonts over FreeType and fontconfig, text drawing, metrics,
// glyph outlines and private font installation. Every declaration here is ours; a note marks
// where a behaviour is our own choice.
//
// What callers can rely on:
// - One font list per process, shared by every thread and every module: the system faces of
//   fonts-liberation2 and fonts-dejavu-core (only those, so that text renders the same on every
//   machine) and the fonts installed privately with AddFontResourceExA/W or AddFontMemResourceEx.
//   Every call here may run on any thread at the same time as any other; calls that use the same
//   font are serialised on that font, and calls on the same DC take turns (see gdi.h), so a font
//   deselected and deleted on one thread is never freed under a text call on another.
// - Face matching (CreateFontIndirectA/W; the face is chosen when the font is created, so install
//   a private font before creating fonts that name it): a leading '@' of the face name is ignored
//   (vertical fonts are drawn as horizontal ones). A private font whose family name equals the
//   face name without regard to case wins, the nearest in weight and italic among several.
//   Otherwise fontconfig's substitution picks the face (the metric-compatible Liberation faces for
//   the classic names, DejaVu Sans for unknown names); an empty face name asks for DejaVu Serif
//   with FF_ROMAN, DejaVu Sans Mono with FF_MODERN or FIXED_PITCH, else DejaVu Sans.
// - Heights (logical units, scaled to device pixels by the DC's mapping when the text is drawn
//   or measured): lfHeight < 0 is the em height, lfHeight > 0 the cell height (ascent plus
//   descent from the face's OS/2 Windows metrics, else its horizontal header), 0 is a cell height
//   of 16. lfWidth != 0 stretches the font so that its average character width (OS/2) is lfWidth.
//   Sizes above 8192 device pixels fail the drawing or measuring call (ERROR_INVALID_PARAMETER).
// - Weight and italic: a weight of 600 or more on a face lighter than 600 is emboldened by
//   FreeType's FT_GlyphSlot_Embolden; italic on an upright face is slanted by 0x366A / 0x10000
//   (FreeType's oblique). lfEscapement turns the text (tenths of a degree, counter-clockwise);
//   lfOrientation is ignored (it equals the escapement in compatible mode). lfUnderline,
//   lfStrikeOut and lfCharSet are kept and reported but do not change the drawing; every quality
//   renders in one bit.
// - Glyphs are FreeType's hinted monochrome rendering (FT_LOAD_TARGET_MONO, FT_RENDER_MODE_MONO)
//   at the device size, placed with their origin on whole device pixels: a glyph's origin is the
//   reference point plus the rounded sum of the advances before it.
// - For a font store and a text command built on these calls: a font installed from a file no
//   longer needs the file (it is read whole when installed; deleting it at once is safe), and a
//   font created from it keeps drawing after RemoveFontResourceExA. lfClipPrecision (CLIP_EMBEDDED)
//   and lfQuality change nothing. Text is drawn with a copy of the text colour whatever SetROP2
//   says; to mix text with a brush, draw it into a 1-bit mask and blit from there. A single byte of 0x80 or more given to ExtTextOutA is not
//   UTF-8 and draws U+FFFD: convert multibyte text whole (MultiByte to wide) and use ExtTextOutW.
//   GetGlyphOutlineA/W answer in device pixels of the DC given: select the font into a DC in
//   MM_TEXT for outlines in the font's logical units.
#pragma once

#include "platform/gdi.h"

// Declarations from here on are the platform library's exports.
#pragma GCC visibility push(default)

// ---- Records ----
#define LF_FACESIZE 32

struct LOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];  // UTF-8 here
};

struct LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};

struct TEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

struct TEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

// 16.16 fixed point; as a 32-bit little-endian value it is the number times 65536.
struct FIXED {
    WORD fract;
    SHORT value;
};

struct MAT2 {
    FIXED eM11;
    FIXED eM12;
    FIXED eM21;
    FIXED eM22;
};

struct POINTFX {
    FIXED x;
    FIXED y;
};

struct GLYPHMETRICS {
    UINT gmBlackBoxX;
    UINT gmBlackBoxY;
    POINT gmptGlyphOrigin;
    SHORT gmCellIncX;
    SHORT gmCellIncY;
};

// GGO_NATIVE data: per contour a TTPOLYGONHEADER (cb = bytes of the contour with its header)
// followed by TTPOLYCURVE records, each of cpfx points (sizeof(TTPOLYCURVE) - sizeof(POINTFX) +
// cpfx * sizeof(POINTFX) bytes).
struct TTPOLYGONHEADER {
    DWORD cb;
    DWORD dwType;
    POINTFX pfxStart;
};

struct TTPOLYCURVE {
    WORD wType;
    WORD cpfx;
    POINTFX apfx[1];
};

static_assert(sizeof(LOGFONTA) == 60 && offsetof(LOGFONTA, lfFaceName) == 28);
static_assert(sizeof(LOGFONTW) == 92 && offsetof(LOGFONTW, lfFaceName) == 28);
static_assert(sizeof(TEXTMETRICA) == 53 + 3 && offsetof(TEXTMETRICA, tmCharSet) == 52);
static_assert(sizeof(TEXTMETRICW) == 60 && offsetof(TEXTMETRICW, tmCharSet) == 56);
static_assert(sizeof(FIXED) == 4 && sizeof(MAT2) == 16 && sizeof(POINTFX) == 8);
static_assert(sizeof(GLYPHMETRICS) == 20 && offsetof(GLYPHMETRICS, gmCellIncX) == 16);
static_assert(sizeof(TTPOLYGONHEADER) == 16 && sizeof(TTPOLYCURVE) == 12);

// ---- Constants ----
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_SEMIBOLD 600
#define FW_BOLD 700

#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define RUSSIAN_CHARSET 204

#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define CLIP_EMBEDDED 0x80
#define DEFAULT_QUALITY 0
#define NONANTIALIASED_QUALITY 3

#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30

// tmPitchAndFamily bits (TMPF_FIXED_PITCH set means a variable-pitch font).
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04

#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
#define ETO_GLYPH_INDEX 0x0010

#define GGO_METRICS 0
#define GGO_NATIVE 2
#define GGO_GLYPH_INDEX 0x0080
#define GGO_UNHINTED 0x0100

#define TT_POLYGON_TYPE 24
#define TT_PRIM_LINE 1
#define TT_PRIM_QSPLINE 2
#define TT_PRIM_CSPLINE 3

#define FR_PRIVATE 0x10
#define FR_NOT_ENUM 0x20

// ---- Fonts ----
// The face is matched now (see above); null and ERROR_INVALID_PARAMETER for a null record,
// ERROR_FILE_NOT_FOUND when no face can be opened. A font is deleted with DeleteObject; a fresh
// DC holds a default font (the LOGFONT of all zeros), which SelectObject returns.
HFONT CreateFontIndirectA(const LOGFONTA* font);
HFONT CreateFontIndirectW(const LOGFONTW* font);

// ---- Drawing ----
// Draws the characters (or, with ETO_GLYPH_INDEX, glyph indices) from the reference point (x, y)
// by the DC's text alignment (TA_LEFT, TA_RIGHT, TA_CENTER with TA_TOP, TA_BASELINE, TA_BOTTOM;
// TA_UPDATECP is ignored). dx, when given, holds one advance (logical) per character in place
// of the font's advances. In the order of painting: ETO_OPAQUE fills rect (logical) with the
// background colour; with the background mode OPAQUE the text's cell box (the advances by the
// ascent plus descent, turned with the text) is filled with the background colour; the glyphs'
// pixels are painted in the text colour. Our rule, as GDI's text always had: the DC's ROP2 does
// not apply to text, every pixel is copied. ETO_CLIPPED limits all of it to rect; the DC's clip
// region always applies. Colours follow the blit rules (nearest colour-table entry on indexed
// bitmaps). Glyphs the font lacks draw its glyph 0; damaged glyphs draw nothing.
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count, const INT* dx);
// Narrow text is UTF-8 here: it is converted to UTF-16 first (a malformed byte becomes U+FFFD),
// and dx applies to the UTF-16 characters. With ETO_GLYPH_INDEX each byte is a glyph index.
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const INT* dx);
BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count);
BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count);

// ---- Measuring ----
// cx: the sum of the advances, cy: the cell height (ascent plus descent), both logical and not
// turned by the escapement.
BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size);
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, LPSIZE size);
// Logical units of the DC. Ascent and descent are the face's OS/2 Windows ascent and descent
// scaled to the em and rounded; tmInternalLeading = tmHeight - em height; tmWeight is lfWeight
// when emboldened (or when lfWeight is 0: the face's weight), else the face's; tmOverhang is 0
// (emboldening widens the advances instead); tmItalic, tmUnderlined, tmStruckOut and tmCharSet
// come from the LOGFONT; tmPitchAndFamily has TMPF_VECTOR | TMPF_TRUETYPE, TMPF_FIXED_PITCH for
// a variable-pitch face, and the LOGFONT's family bits. The A form clamps characters to 255.
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics);
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);

// GGO_METRICS or GGO_NATIVE, with GGO_GLYPH_INDEX (code is a glyph index) and GGO_UNHINTED.
// Outlines are FreeType's (hinted unless GGO_UNHINTED) at the DC's device size, emboldened,
// slanted and turned as drawing does, then transformed by the matrix (required), in 16.16 fixed
// point device pixels with y upwards from the glyph origin. Each contour starts at an on-curve
// point and ends back at its start point; TrueType faces give TT_PRIM_LINE and TT_PRIM_QSPLINE
// records (consecutive control points of a QSPLINE imply the on-curve midpoints between them),
// cubic faces TT_PRIM_CSPLINE. Metrics: the black box is the outline's control box widened to
// whole pixels (1 x 1 at the origin for an empty glyph), the cell increments the rounded advance.
// GGO_NATIVE with no buffer or a size of 0 returns the bytes needed (0 for an empty glyph); with
// a buffer too small, GDI_ERROR and ERROR_INSUFFICIENT_BUFFER; else the bytes written. GGO_METRICS
// returns 1. Other formats fail with ERROR_INVALID_PARAMETER. The A form takes the code as the
// W form does (a character of UTF-8 text is its code point).
DWORD GetGlyphOutlineW(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer,
                       const MAT2* matrix);
DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer,
                       const MAT2* matrix);

// ---- Private fonts ----
// Installs every face of a TrueType or OpenType file for this process (flags must hold
// FR_PRIVATE; FR_NOT_ENUM is accepted). The file is read whole now, so it may be deleted while
// installed. Returns the number of faces added; 0 when the file cannot be read (its error) or is
// not a font FreeType can open with a family name (ERROR_INVALID_DATA). Installing the same path
// again counts one more installation.
int AddFontResourceExA(LPCSTR path, DWORD flags, void* reserved);
int AddFontResourceExW(LPCWSTR path, DWORD flags, void* reserved);
// Removes one installation of the path (the same spelling as given to AddFontResourceEx);
// FALSE and ERROR_FILE_NOT_FOUND when it is not installed. Fonts already created keep their face.
BOOL RemoveFontResourceExA(LPCSTR path, DWORD flags, void* reserved);
BOOL RemoveFontResourceExW(LPCWSTR path, DWORD flags, void* reserved);
// Installs the faces of a font in memory (the bytes are copied) for this process; faces gives the
// number added. Null (ERROR_INVALID_DATA) for damaged data, ERROR_INVALID_PARAMETER for bad
// arguments.
HANDLE AddFontMemResourceEx(const void* data, DWORD size, void* reserved, DWORD* faces);
BOOL RemoveFontMemResourceEx(HANDLE fonts);

// Our addition for tests and tools: the face a font was matched to.
struct FontRealization {
    CHAR family[64];  // UTF-8
    CHAR file[260];  // the file of a system face, empty for a private one
    LONG faceWeight;  // the face's own weight (OS/2, else 400 or 700 by its style)
    BOOL emboldened;
    BOOL slanted;
};
BOOL GetFontRealization(HFONT font, FontRealization* out);

#pragma GCC visibility pop
