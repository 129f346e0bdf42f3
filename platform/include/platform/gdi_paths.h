// Lines, polygons, paths and pens of the software GDI. Every declaration here is ours; a note
// marks where a behaviour is our own choice.
//
// Pixels: a fill sets pixel (x, y) when the point (x, y) lies inside the figure, points on a left
// or top edge counting and points on a right or bottom edge not. A cosmetic pen draws one-pixel
// Bresenham lines and leaves out the last pixel of an open figure; a geometric pen's outline
// (caps, joins, miter limit, dashes) is filled by the same rule. Our choice: a fill paints each
// pixel once and so does a stroke, whatever the mix, even where a figure crosses itself (a shape
// that is filled and outlined paints its border pixels twice: fill, then pen).
#pragma once

#include "platform/gdi.h"

// Declarations from here on are the platform library's exports.
#pragma GCC visibility push(default)

// ---- Pens ----
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define PS_USERSTYLE 7
#define PS_ALTERNATE 8
#define PS_STYLE_MASK 0x0000000F

#define PS_ENDCAP_ROUND 0x00000000
#define PS_ENDCAP_SQUARE 0x00000100
#define PS_ENDCAP_FLAT 0x00000200
#define PS_ENDCAP_MASK 0x00000F00

#define PS_JOIN_ROUND 0x00000000
#define PS_JOIN_BEVEL 0x00001000
#define PS_JOIN_MITER 0x00002000
#define PS_JOIN_MASK 0x0000F000

#define PS_COSMETIC 0x00000000
#define PS_GEOMETRIC 0x00010000
#define PS_TYPE_MASK 0x000F0000

// Point kinds of a path.
#define PT_CLOSEFIGURE 0x01
#define PT_LINETO 0x02
#define PT_BEZIERTO 0x04
#define PT_MOVETO 0x06

// Width 0 or 1 makes a cosmetic pen, one pixel wide whatever the mapping. A wider pen is a
// geometric one with round caps and joins, its width in logical units; our choice: a wider pen
// in a dashed style draws solid. Dashes of cosmetic pens (in pixels): dash 18 on 6 off, dot 3 on
// 3 off, dash-dot 9 6 3 6, dash-dot-dot 9 3 3 3 3 3. With the background mode OPAQUE the gaps
// take the background colour.
HPEN CreatePen(int style, int width, COLORREF color);
// Cosmetic pens: width 1, a solid brush, any style but PS_INSIDEFRAME; PS_ALTERNATE sets every
// other pixel; user styles count pixels. Geometric pens: width in logical units, a solid brush or
// a DIB pattern brush (BS_DIBPATTERN or BS_DIBPATTERNPT; lbHatch is the address of the packed
// DIB and lbColor's low word its usage, as there are no global memory handles here), caps, joins
// and styles; their dashes are multiples of the width (dash 3 1, dot 1 1, dash-dot 3 1 1 1,
// dash-dot-dot 3 1 1 1 1 1) or the user style's lengths in logical units. PS_USERSTYLE takes 1
// to 16 lengths, not all 0; other styles take none. Anything else fails with
// ERROR_INVALID_PARAMETER.
HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount, const DWORD* styles);
// The limit is a multiple of the pen width; a join whose miter would be longer is bevelled.
// Below 1 fails. A fresh DC has 10.
BOOL SetMiterLimit(HDC dc, float limit, float* previous);
BOOL GetMiterLimit(HDC dc, float* limit);
// ALTERNATE or WINDING; returns the previous mode, 0 on failure.
int SetPolyFillMode(HDC dc, int mode);
int GetPolyFillMode(HDC dc);

// ---- Lines and shapes ----
// Points are logical; a point whose device position does not fit 32 bits fails the call with
// ERROR_ARITHMETIC_OVERFLOW. Inside a path bracket these add to the path and draw nothing.
BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous);
BOOL GetCurrentPositionEx(HDC dc, LPPOINT position);
BOOL LineTo(HDC dc, int x, int y);
// One open figure through the points (at least 2); the current position is neither used nor moved.
BOOL Polyline(HDC dc, const POINT* points, int count);
// From the current position through the points; the position moves to the last one.
BOOL PolylineTo(HDC dc, const POINT* points, DWORD count);
// Cubic Bezier segments from the current position, three points each (count a multiple of 3).
BOOL PolyBezierTo(HDC dc, const POINT* points, DWORD count);
// A closed figure (at least 2 points) filled with the brush by the fill mode, then outlined.
BOOL Polygon(HDC dc, const POINT* points, int count);
// Several closed figures filled together (every count at least 2), then each outlined.
BOOL PolyPolygon(HDC dc, const POINT* points, const INT* counts, int figures);
// A one-pixel pen draws the border on columns left and right-1 and rows top and bottom-1 and
// the brush fills inside it; with the null pen the brush fills columns left to right-2 and rows
// top to bottom-2. A wider pen is centred on the same border; PS_INSIDEFRAME moves it inward so
// that it stays within columns left to right-1 and rows top to bottom-1 (narrowed to fit a
// smaller rectangle). In a path it adds the closed figure through those border pixels.
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);

// ---- Paths ----
// BeginPath discards any path and opens a bracket; EndPath closes it. FillPath, StrokePath,
// StrokeAndFillPath, PathToRegion and SelectClipPath use a closed path and discard it; fills
// close every figure. Calls that need a closed path or an open bracket fail otherwise
// (ERROR_CAN_NOT_COMPLETE).
BOOL BeginPath(HDC dc);
BOOL EndPath(HDC dc);
BOOL AbortPath(HDC dc);
BOOL CloseFigure(HDC dc);
BOOL FillPath(HDC dc);
BOOL StrokePath(HDC dc);
BOOL StrokeAndFillPath(HDC dc);
// The region of the path's fill, in device pixels.
HRGN PathToRegion(HDC dc);
// Combines the path's region with the clip as ExtSelectClipRgn does.
BOOL SelectClipPath(HDC dc, int mode);
// Replaces the path's curves by lines.
BOOL FlattenPath(HDC dc);
// Our addition for tests and tools: copies out the points (device) and kinds; returns the count,
// or with count 0 the count needed; -1 without a closed path.
int GetPath(HDC dc, LPPOINT points, BYTE* kinds, int count);

// ---- Polygon regions ----
// Device coordinates (a region has no mapping); the same pixels as Polygon's fill.
HRGN CreatePolygonRgn(const POINT* points, int count, int mode);
HRGN CreatePolyPolygonRgn(const POINT* points, const INT* counts, int figures, int mode);

#pragma GCC visibility pop
