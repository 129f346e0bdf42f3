#include "frontend/sheet/cover_preview.h"

#include <cstring>
#include <ctime>
#include <string>

#include "frontend/common/cover_template.h"
#include "frontend/sheet/preview_layout.h"
#include "platform/gdi_paths.h"
#include "platform/user.h"

namespace {

constexpr int kFold = 30;  // the cut corner's legs
constexpr int kCorner = 40;  // the page image's corner kept on top

// A 24-bit working bitmap (the preview's drawing surfaces).
HBITMAP WorkBitmap(HDC dc, LONG width, LONG height)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

void Select(HDC dc, HGDIOBJ pen, HGDIOBJ brush)
{
    SelectObject(dc, pen);
    SelectObject(dc, brush);
}

void Resources(FaxSheetState* state)
{
    if (!state->faceBrush) state->faceBrush = CreateSolidBrush(kPreviewFace);
    if (!state->facePen) state->facePen = CreatePen(PS_SOLID, 1, kPreviewFace);
    if (!state->blackPen) state->blackPen = CreatePen(PS_SOLID, 1, 0);
    if (!state->whiteBrush) state->whiteBrush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

HBITMAP PagePicture(FaxSheetState* state, int pageClass)
{
    HBITMAP& picture = pageClass == 1 ? state->portraitPicture : state->landscapePicture;
    if (!picture) picture = LoadBitmapW(state->module, MAKEINTRESOURCEW(pageClass == 1 ? 3901 : 3902));
    return picture;
}

// Stretches a bitmap into the rectangle.
void BitmapStretch(HDC dc, HBITMAP bitmap, const RECT& to)
{
    BITMAP shape{};
    if (!bitmap || !GetObjectW(bitmap, sizeof shape, &shape)) return;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, bitmap);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, shape.bmWidth, shape.bmHeight,
               SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

// The template and the information blocks at 6/5 of the cover page's size on a white page of
// its own, shrunk into the cover page one pixel inside its edges.
void CoverPageTemplateDraw(HDC dc, const RECT& cover, FaxSheetState* state, int pageClass, const std::tm& now)
{
    const RECT work{cover.left * 6 / 5, cover.top * 6 / 5, cover.right * 6 / 5, cover.bottom * 6 / 5};
    if (work.right <= work.left || work.bottom <= work.top || work.left < 0 || work.top < 0) return;
    HDC page = CreateCompatibleDC(dc);
    HBITMAP bitmap = WorkBitmap(dc, work.right, work.bottom);
    HGDIOBJ oldBitmap = SelectObject(page, bitmap);
    FillRect(page, &work, state->whiteBrush);
    const CoverPageMarks marks =
        CoverPageStyleDraw(page, work, 1, CoverPageReader::Preview, *state->settings, CoverTemplatePath(state).c_str());
    CoverPreviewBlocksDraw(page, work, marks, state, pageClass, now);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, cover.left + 1, cover.top + 1, cover.right - cover.left - 2, cover.bottom - cover.top - 2, page,
               work.left, work.top, work.right - work.left, work.bottom - work.top, SRCCOPY);
    SelectObject(page, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(page);
}

void CoverPagePictureDraw(HDC dc, const RECT& cover, FaxSheetState* state)
{
    CoverPageSettings* settings = state->settings;
    const BYTE* block = state->picture;
    if (!block) return;
    BITMAPINFOHEADER header;
    std::memcpy(&header, block, sizeof header);
    const LONG rows = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    const PicturePlacement p = PicturePlace(cover, header.biWidth, rows, settings->pictureScale, settings->pictureX,
                                            settings->pictureY, &state->pictureFitScale);
    if (!p.drawn) return;
    settings->pictureScale = static_cast<WORD>(p.scale);
    // The source's top rows when only part of the picture shows (a bottom-up picture keeps its
    // top rows at its end).
    const int sourceY = header.biHeight > 0 ? rows - p.source.cy : 0;
    SetStretchBltMode(dc, HALFTONE);
    StretchDIBits(dc, p.at.x, p.at.y, p.size.cx, p.size.cy, 0, sourceY, p.source.cx, p.source.cy,
                  block + header.biSize + state->picturePaletteBytes, reinterpret_cast<const BITMAPINFO*>(block),
                  DIB_RGB_COLORS, SRCCOPY);
    HGDIOBJ white = GetStockObject(WHITE_PEN);
    Select(dc, white, state->whiteBrush);
    Rectangle(dc, cover.right - 2, cover.top, cover.right, cover.bottom);
    Rectangle(dc, cover.left, cover.bottom - 2, cover.right, cover.bottom);
    const RECT& r = p.picture;
    for (int i = 0; i < 4; ++i) settings->previewPicture[i] = static_cast<SHORT>((&r.left)[i]);
}

}  // namespace

std::u16string CoverTemplatePath(const FaxSheetState* state)
{
    return std::u16string(state->driverFolder) + state->prefix + u"CP.INI";
}

void CoverPreviewRender(HDC dc, SIZE area, FaxSheetState* state, const std::tm* now)
{
    CoverPageSettings* settings = state->settings;
    if (!settings) return;
    Resources(state);
    const RECT all{0, 0, area.cx, area.cy};
    FillRect(dc, &all, state->faceBrush);

    RECT image{};
    const int pageClass = CoverPagePreviewLayout(PreviewSquare(all), &image, settings->paperWidth,
                                                 settings->paperHeight, settings->orientation);
    OffsetRect(&image, 0, -5);
    const bool styled = settings->style != 0;
    RECT cover{};
    if (styled) {
        // The cover page stands 10 pixels up and left of the page image behind it.
        OffsetRect(&image, 5, 5);
        cover = {image.left - 10, image.top - 10, image.right - 10, image.bottom - 10};
        for (int i = 0; i < 4; ++i) settings->previewPage[i] = static_cast<SHORT>((&cover.left)[i]);
    }
    Select(dc, state->blackPen, state->whiteBrush);
    Rectangle(dc, image.left, image.top, image.right, image.bottom);
    BitmapStretch(dc, PagePicture(state, pageClass),
                  {image.left + 1, image.top + 1, image.right - 1, image.bottom - 1});
    if (!styled) return;

    const POINT outline[] = {{cover.left, cover.top},
                             {cover.right, cover.top},
                             {cover.right, cover.bottom - kFold},
                             {cover.right - kFold, cover.bottom},
                             {cover.left, cover.bottom}};
    const POINT fold[] = {{cover.right, cover.bottom - kFold},
                          {cover.right - kFold, cover.bottom},
                          {cover.right - kFold, cover.bottom - kFold}};
    Select(dc, state->blackPen, state->whiteBrush);
    Polygon(dc, outline, 5);
    Polygon(dc, fold, 3);
    // The page image's corner and the fold stay on top of the template and the picture.
    HDC saved = CreateCompatibleDC(dc);
    HBITMAP corner = WorkBitmap(dc, kCorner, kCorner);
    HGDIOBJ oldCorner = SelectObject(saved, corner);
    BitBlt(saved, 0, 0, kCorner, kCorner, dc, image.right - kCorner, image.bottom - kCorner, SRCCOPY);
    std::tm local{};
    if (!now) {
        const std::time_t seconds = std::time(nullptr);
        localtime_r(&seconds, &local);
    }
    CoverPageTemplateDraw(dc, cover, state, pageClass, now ? *now : local);
    if (settings->pictureOn && settings->picturePath[0]) CoverPagePictureDraw(dc, cover, state);
    BitBlt(dc, image.right - kCorner, image.bottom - kCorner, kCorner, kCorner, saved, 0, 0, SRCCOPY);
    SelectObject(saved, oldCorner);
    DeleteObject(corner);
    DeleteDC(saved);
}

bool CoverPreviewArea(HWND page, RECT* area)
{
    RECT screen{};
    if (!GetWindowRect(GetDlgItem(page, kPreviewArea), &screen)) return false;
    POINT corners[2] = {{screen.left, screen.top}, {screen.right, screen.bottom}};
    if (!ScreenToClient(page, &corners[0]) || !ScreenToClient(page, &corners[1])) return false;
    *area = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    return area->right > area->left && area->bottom > area->top;
}

namespace {

// The working bitmap of the preview area's size (made once) with the miniature drawn afresh.
bool WorkingDraw(HWND page, FaxSheetState* state, RECT* area)
{
    if (!state->settings || !CoverPreviewArea(page, area)) return false;
    const SIZE size{area->right - area->left, area->bottom - area->top};
    if (!state->previewDC) {
        state->previewDC = CreateCompatibleDC(nullptr);
        state->previewBitmap = WorkBitmap(state->previewDC, size.cx, size.cy);
        SelectObject(state->previewDC, state->previewBitmap);
    }
    CoverPreviewRender(state->previewDC, size, state);
    return true;
}

// The drawing pulls the settings' scale back to the largest that fits the cover page; the scale
// edit must not go on showing more than the picture gets. Setting it stores the value and draws
// again, which leaves the scale as it is.
void ScaleEditLower(HWND page, const FaxSheetState* state)
{
    constexpr int kScaleEdit = 3610;
    WCHAR text[32] = {};
    GetDlgItemTextW(page, kScaleEdit, text, 32);
    long shown = 0;
    for (const WCHAR* c = text; *c >= u'0' && *c <= u'9' && shown <= 400; ++c) shown = shown * 10 + (*c - u'0');
    const WORD scale = state->settings->pictureScale;
    if (shown > scale) {
        const std::string digits = std::to_string(scale);
        SetDlgItemTextW(page, kScaleEdit, std::u16string(digits.begin(), digits.end()).c_str());
    }
}

}  // namespace

void CoverPreviewRedraw(HWND page, FaxSheetState* state)
{
    RECT area{};
    if (!WorkingDraw(page, state, &area)) return;
    InvalidateRect(page, &area, FALSE);
    UpdateWindow(page);
    ScaleEditLower(page, state);
}

void CoverPagePreviewPaint(HWND page, FaxSheetState* state)
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(page, &paint);
    RECT area{};
    // A page painted before any change of the settings draws the miniature first.
    if (dc && state && (state->previewDC ? CoverPreviewArea(page, &area) : WorkingDraw(page, state, &area)))
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, state->previewDC, 0, 0,
               SRCCOPY);
    EndPaint(page, &paint);
}
