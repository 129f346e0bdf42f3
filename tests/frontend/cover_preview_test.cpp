// The miniature as painted, against a reference painted with plain GDI calls at the places worked
// out by hand for a 174 x 163 preview area of A4 portrait paper:
//   square (5, 0)-(168, 163); d = 163 x 1000 / 2828 = 57, so 114 wide at 29; Legal scale 835 takes
//   9 and 13 off each end; the inset 9 and 13: the page (47, 26)-(125, 137), 5 up.
//   With a style the page image moves 5 right and down, (52, 26)-(130, 137), and the cover page
//   stands 10 up and left of it, (42, 16)-(120, 127); the template is drawn at 6/5, (50, 19)-(144, 152).
//   A 115 x 115 picture at scale 100 is 10 x 10, drawn 2 pixels inside the cover page's corner.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "frontend/common/cover_template.h"
#include "frontend/sheet/bmp_read.h"
#include "frontend/sheet/cover_preview.h"
#include "platform/gdi_paths.h"
#include "sheet_fixture.h"

namespace {

constexpr int kW = 174, kH = 163;

struct Surface {
    HDC dc = CreateCompatibleDC(nullptr);
    uint8_t* bits = nullptr;
    HBITMAP bitmap;
    Surface()
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kW, -kH, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        SelectObject(dc, bitmap);
    }
    ~Surface()
    {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    COLORREF At(int x, int y) const
    {
        const uint8_t* p = bits + static_cast<size_t>(y) * ((kW * 3 + 3) / 4 * 4) + static_cast<size_t>(x) * 3;
        return RGB(p[2], p[1], p[0]);
    }
};

void Stretch(HDC dc, HBITMAP bitmap, RECT to)
{
    BITMAP shape{};
    GetObjectW(bitmap, sizeof shape, &shape);
    HDC source = CreateCompatibleDC(nullptr);
    SelectObject(source, bitmap);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, shape.bmWidth, shape.bmHeight, SRCCOPY);
    DeleteDC(source);
}

// The reference: the same picture painted step by step at the hand-worked places.
void Reference(HDC dc, const CoverPageSettings& settings, const std::u16string& path, const BYTE* picture)
{
    HBRUSH face = CreateSolidBrush(kPreviewFace);
    HPEN black = CreatePen(PS_SOLID, 1, 0);
    const RECT all{0, 0, kW, kH};
    FillRect(dc, &all, face);
    const bool styled = settings.style != 0;
    const RECT image = styled ? RECT{52, 26, 130, 137} : RECT{47, 21, 125, 132};
    SelectObject(dc, black);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Rectangle(dc, image.left, image.top, image.right, image.bottom);
    HBITMAP portrait = LoadBitmapW(VelmoraModule(), MAKEINTRESOURCEW(3901));
    Stretch(dc, portrait, {image.left + 1, image.top + 1, image.right - 1, image.bottom - 1});
    if (styled) {
        const POINT outline[] = {{42, 16}, {120, 16}, {120, 97}, {90, 127}, {42, 127}};
        const POINT fold[] = {{120, 97}, {90, 127}, {90, 97}};
        Polygon(dc, outline, 5);
        Polygon(dc, fold, 3);
        Surface corner;  // the page image's corner, kept on top
        BitBlt(corner.dc, 0, 0, 40, 40, dc, 90, 97, SRCCOPY);
        Surface work;
        const RECT page{50, 19, 144, 152};
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 144, -152, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HDC templateDc = CreateCompatibleDC(nullptr);
        HBITMAP templateBitmap = CreateDIBSection(templateDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        SelectObject(templateDc, templateBitmap);
        FillRect(templateDc, &page, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        CoverPageStyleDraw(templateDc, page, 1, CoverPageReader::Preview, settings, path.c_str());
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, 43, 17, 76, 109, templateDc, 50, 19, 94, 133, SRCCOPY);
        DeleteDC(templateDc);
        DeleteObject(templateBitmap);
        if (picture) {
            StretchDIBits(dc, 44, 18, 10, 10, 0, 0, 115, 115, picture + 40, reinterpret_cast<const BITMAPINFO*>(picture),
                          DIB_RGB_COLORS, SRCCOPY);
            SelectObject(dc, GetStockObject(WHITE_PEN));
            Rectangle(dc, 118, 16, 120, 127);
            Rectangle(dc, 42, 125, 120, 127);
        }
        BitBlt(dc, 90, 97, 40, 40, corner.dc, 0, 0, SRCCOPY);
    }
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(black);
    DeleteObject(face);
    DeleteObject(portrait);
}

using CoverPreviewPaint = SheetFixture;

TEST_F(CoverPreviewPaint, MatchesTheReferencePainting)
{
    const std::string folder = env_.tmp();
    std::filesystem::copy_file(SAMPLE_TEMPLATE, folder + Prefix() + "CP.INI");
    SolidBmpWrite(folder + "red.bmp", 115, 115, RGB(255, 0, 0));

    const struct {
        const char* name;
        WORD style;
        bool picture;
    } cases[] = {{"no cover page", 0, false}, {"style 1", 1, false}, {"style 2 with a picture", 2, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* state = static_cast<FaxSheetState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FaxSheetState)));
        state->module = VelmoraModule();
        std::u16string(Wide(folder)).copy(state->driverFolder, 259);
        std::u16string(prefix_).copy(state->prefix, 31);
        state->settings = static_cast<CoverPageSettings*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CoverPageSettings)));
        CoverPageSettings& settings = *state->settings;
        settings.paperWidth = 2100;
        settings.paperHeight = 2970;
        settings.orientation = 1;
        settings.style = c.style;
        settings.pictureScale = 100;
        settings.pictureOn = c.picture;
        FieldSet(settings.subject, u"Счёт");
        settings.showSubject = 1;
        if (c.picture) {
            FieldSet(settings.picturePath, Wide(folder + "red.bmp"));
            state->picture = BmpFileRead(settings.picturePath, &state->picturePaletteBytes);
            ASSERT_NE(state->picture, nullptr);
        }
        Surface ours, reference;
        CoverPreviewRender(ours.dc, {kW, kH}, state);
        Reference(reference.dc, settings, Wide(folder + Prefix() + "CP.INI"), state->picture);
        int differing = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                differing += ours.At(x, y) != reference.At(x, y);
        EXPECT_EQ(differing, 0);
        // Independent marks: the face colour outside the pages, the picture's red where it
        // stands, the cover page's outline and the rectangles kept in the settings.
        EXPECT_EQ(ours.At(2, 2), kPreviewFace);
        EXPECT_EQ(ours.At(48, 22) == RGB(255, 0, 0), c.picture);
        EXPECT_EQ(ours.At(42, 60) == RGB(0, 0, 0), c.style != 0);
        if (c.style) {
            EXPECT_EQ(std::vector<SHORT>(settings.previewPage, settings.previewPage + 4), (std::vector<SHORT>{42, 16, 120, 127}));
        }
        if (c.picture) {
            EXPECT_EQ(std::vector<SHORT>(settings.previewPicture, settings.previewPicture + 4), (std::vector<SHORT>{42, 16, 52, 26}));
            EXPECT_EQ(ours.At(44, 18), RGB(255, 0, 0));
            EXPECT_EQ(ours.At(53, 27), RGB(255, 0, 0));
            EXPECT_NE(ours.At(54, 28), RGB(255, 0, 0));
        }
        FaxSheetStateFree(state);
    }
}

}  // namespace
