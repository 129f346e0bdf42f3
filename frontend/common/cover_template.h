// The cover-page template: an INI file of numbered styles, each a title, straight lines and, by
// rule, the places of the subject, date and time, sender and receivers. The sheet's style list,
// its preview and Coverprint read it; the layout below is the one both drawing readers follow, in
// template units u scaled to the page.
#pragma once

#include <vector>

#include "frontend/common/records.h"
#include "platform/gdi.h"

inline constexpr DWORD kTemplateValueRoom = 128;  // characters read of a string value
inline constexpr int kCoverPageStylesAtMost = 9;  // the string table names nine styles
// The title height, in units, that Coverprint prints when the style cannot be read from the
// template: the shipped template's first style's, so that the page still reads as a cover page.
inline constexpr LONG kCoverPageFallbackTitleSize = 12;

struct CoverTemplateLine {
    LONG sx, sy, ex, ey;  // template units; negative x or y count from the right or bottom edge
};

// The template as a drawing reader sees it: one style with the file's "DEFINE" values, defaults
// filled in.
struct CoverPageTemplate {
    WCHAR fontName[32];  // "FONTNAME" of "DEFINE", at most 31 characters
    BYTE charset;  // "CHARSET", one byte
    LONG titleFontSize;  // units
    bool centred;  // "ALIGN" exactly "CENTER"
    LONG titleX, titleY;
    WCHAR title[kTemplateValueRoom];
    bool rectangle;  // the title white on a black box
    std::vector<CoverTemplateLine> lines;
    bool found;  // the file has the style's section
};

// Reads style `style` (the section "STYLE" and its decimal number) and the "DEFINE" values. A
// missing file, section or key gives the defaults. A line count beyond the lines the section
// defines stands for lines from (0, 0) to (0, 0): they draw nothing and leave the anchor at the
// page's corner, so they are kept as one such line rather than read one by one.
void CoverPageTemplateRead(LPCWSTR path, WORD style, CoverPageTemplate* out);
// "COUNT" of "DEFINE": how many styles the style list offers (0 without a file).
int CoverPageStyleCount(LPCWSTR path);
// The stored style as the style list can show it: 1 up to the styles the template offers (at
// most nine); any other number, or any style without a template, is 0, no cover page.
WORD CoverPageStyleOffered(LPCWSTR path, WORD style);

// The template unit of a printed page W x H device pixels.
LONG CoverPageUnit(LONG width, LONG height, bool landscape);

struct CoverPageSegment {
    POINT from, to;
};

// A style placed on a page: device coordinates, given the title's measured extent.
struct CoverPageLayout {
    UINT titleAlign;  // TA_CENTER | TA_TOP or TA_LEFT | TA_TOP; the subject keeps it
    POINT titleAt;  // where the title is drawn
    RECT titleBox;  // the black box behind the title (when the style asks for one)
    std::vector<CoverPageSegment> lines;
    CoverPageSegment bottomRule;
    POINT anchor;  // where the information blocks start: the last line's start, else the title's foot
};

// Coordinates are computed in 64 bits and held within +-2^27 pixels, so absurd values in a
// template draw (clipped by the device) instead of overflowing.
CoverPageLayout CoverPageLayoutMake(const CoverPageTemplate& style, const RECT& page, LONG unit, SIZE title);

// The two drawing readers differ in fonts, pen width and clipping.
enum class CoverPageReader { Print, Preview };

struct CoverPageMarks {
    POINT anchor;
    LONG labelHeight;  // the height of "G" in the label font
    bool subjectDrawn;
};

// Draws the style the settings name (title, lines, bottom rule, subject) and measures the label
// font's line height: the information blocks are the reader's own. The template file is read
// afresh. The DC keeps its font, pen and text colour; its text alignment is left top-left and its
// background mode transparent, as the blocks expect.
CoverPageMarks CoverPageStyleDraw(HDC dc, const RECT& page, LONG unit, CoverPageReader reader,
                                  const CoverPageSettings& settings, LPCWSTR path);
