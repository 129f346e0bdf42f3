#include <algorithm>
#include <cstdlib>

#include "frontend/common/cover_template.h"
#include "platform/gdi_paths.h"
#include "platform/gdi_text.h"

namespace {

HFONT FontMake(LPCWSTR face, LONG weight, LONG height, LONG width, BYTE charset)
{
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWidth = width;
    font.lfWeight = weight;
    font.lfCharSet = charset;
    for (int i = 0; i < LF_FACESIZE - 1 && face[i] != 0; ++i) font.lfFaceName[i] = face[i];
    return CreateFontIndirectW(&font);
}

int Length(LPCWSTR text, int room)
{
    int n = 0;
    while (n < room && text[n] != 0) ++n;
    return n;
}

// A font taller than the page shows nothing more of the page; the cap keeps an absurd size in a
// template from asking the font engine for glyphs millions of pixels high.
LONG FontHeight(int64_t height, const RECT& page)
{
    const int64_t limit = std::max<int64_t>(1, int64_t{page.bottom} - page.top);
    return static_cast<LONG>(std::clamp(height, -limit, limit));
}

}  // namespace

CoverPageMarks CoverPageStyleDraw(HDC dc, const RECT& page, LONG unit, CoverPageReader reader,
                                  const CoverPageSettings& settings, LPCWSTR path)
{
    const bool print = reader == CoverPageReader::Print;
    CoverPageTemplate style;
    CoverPageTemplateRead(path, settings.style, &style);
    SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColour = SetTextColor(dc, RGB(0, 0, 0));

    // A style the file does not hold prints its default title at a cover page's size, not at the
    // font mapper's default height.
    const LONG titleSize = print && !style.found ? kCoverPageFallbackTitleSize : style.titleFontSize;
    const LONG titleHeight = FontHeight(int64_t{titleSize} * (print ? unit : 1), page);
    HFONT titleFont = print ? FontMake(style.fontName, 700, titleHeight, 0, style.charset)
                            : FontMake(u"MS Sans Serif", 400, titleHeight, 0, style.charset);
    HGDIOBJ previousFont = SelectObject(dc, titleFont);
    const int titleLength = Length(style.title, kTemplateValueRoom);
    SIZE title{};
    GetTextExtentPoint32W(dc, style.title, titleLength, &title);
    CoverPageLayout layout = CoverPageLayoutMake(style, page, unit, title);
    SetTextAlign(dc, layout.titleAlign);
    if (style.rectangle) {
        SetTextColor(dc, RGB(255, 255, 255));
        FillRect(dc, &layout.titleBox, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    TextOutW(dc, layout.titleAt.x, layout.titleAt.y, style.title, titleLength);
    SelectObject(dc, previousFont);
    DeleteObject(titleFont);
    SetTextColor(dc, RGB(0, 0, 0));

    HPEN pen = CreatePen(PS_SOLID, print ? 8 : 1, RGB(0, 0, 0));
    HGDIOBJ previousPen = SelectObject(dc, pen);
    for (const CoverPageSegment& line : layout.lines) {
        MoveToEx(dc, line.from.x, line.from.y, nullptr);
        LineTo(dc, line.to.x, line.to.y);
    }
    MoveToEx(dc, layout.bottomRule.from.x, layout.bottomRule.from.y, nullptr);
    LineTo(dc, layout.bottomRule.to.x, layout.bottomRule.to.y);
    SelectObject(dc, previousPen);
    DeleteObject(pen);

    CoverPageMarks marks{layout.anchor, 0, false};
    if (settings.showSubject) {
        HFONT subjectFont = print ? FontMake(style.fontName, 400, FontHeight(5 * int64_t{unit}, page), 0, style.charset)
                                  : FontMake(u"Sarvic", 400, 5, 2, style.charset);
        previousFont = SelectObject(dc, subjectFont);
        const int subjectLength = Length(settings.subject, 66);
        SIZE subject{};
        GetTextExtentPoint32W(dc, settings.subject, subjectLength, &subject);
        const LONG x = style.centred ? layout.titleAt.x : layout.anchor.x;
        const LONG y = static_cast<LONG>(std::max<int64_t>(int64_t{layout.anchor.y} - subject.cy, INT32_MIN));
        ExtTextOutW(dc, x, y, print ? 0 : ETO_CLIPPED, print ? nullptr : &page, settings.subject, UINT(subjectLength),
                    nullptr);
        SelectObject(dc, previousFont);
        DeleteObject(subjectFont);
        marks.subjectDrawn = true;
    }

    SetTextAlign(dc, TA_LEFT | TA_TOP);
    HFONT labelFont = print ? FontMake(style.fontName, 700, FontHeight(19 * int64_t{unit} / 10, page), 0, style.charset)
                            : FontMake(u"Sarvic", 400, 1, marks.subjectDrawn ? 2 : 1, style.charset);
    previousFont = SelectObject(dc, labelFont);
    SIZE g{};
    GetTextExtentPoint32W(dc, u"Get String Height", 1, &g);
    marks.labelHeight = g.cy;
    SelectObject(dc, previousFont);
    DeleteObject(labelFont);
    SetTextColor(dc, previousColour);
    return marks;
}
