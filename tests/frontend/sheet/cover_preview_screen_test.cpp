// The miniature on the screen: the picture dragged with real Qt mouse events on the page, the
// percentages it gives in the X and Y edits, and the page's pixels equal to the working bitmap.
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include "frontend/common/text_rules.h"
#include "frontend/sheet/cover_preview.h"
#include "platform/window_qt.h"
#include "tests/frontend/sheet/sheet_fixture.h"

namespace {

using CoverPreviewScreen = SheetFixture;

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }

std::u16string Text(HWND dialog, int id)
{
    WCHAR text[32] = {};
    GetDlgItemTextW(dialog, id, text, 32);
    return text;
}

RECT Stored(const SHORT (&r)[4]) { return {r[0], r[1], r[2], r[3]}; }

Qt::CursorShape Cursor()
{
    return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
}

// The working bitmap's pixel (a 24-bit DIB section).
QRgb Working(HBITMAP bitmap, int x, int y)
{
    BITMAP shape{};
    GetObjectW(bitmap, sizeof shape, &shape);
    const auto* p = static_cast<const uint8_t*>(shape.bmBits) +
                    static_cast<size_t>(y) * static_cast<size_t>(shape.bmWidthBytes) + static_cast<size_t>(x) * 3;
    return qRgb(p[2], p[1], p[0]);
}

TEST_F(CoverPreviewScreen, DraggingThePictureSetsXAndY)
{
    SolidBmpWrite(env_.tmp() + "red.bmp", 115, 115, RGB(255, 0, 0));
    TemplateInstall();
    CoverPageSettings pout{};
    pout.style = 1;
    pout.pictureOn = 1;
    pout.pictureScale = 100;  // 10 x 10 pixels on the miniature
    pout.paperWidth = 2100;
    pout.paperHeight = 2970;
    pout.orientation = 1;
    FieldSet(pout.picturePath, Wide(env_.tmp() + "red.bmp"));
    WriteValue(kValueCoverPagePout, pout);

    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                  HWND page = CurrentPage(sheet);
                  FaxSheetState* state = PageState(page);
                  const CoverPageSettings* settings = state->settings;
                  QWidget* face = platform::ui::WidgetOf(page);
                  QApplication::processEvents();  // the sheet shows on the screen
                  QWindow* window = face->window()->windowHandle();
                  ASSERT_TRUE(window);
                  RECT area{};
                  ASSERT_TRUE(CoverPreviewArea(page, &area));
                  // A point of the miniature (working-bitmap pixels) as the window sees it.
                  const auto onWindow = [&](POINT p) {
                      return face->mapTo(face->window(), QPoint(area.left + p.x, area.top + p.y));
                  };

                  const RECT cover = Stored(settings->previewPage);
                  ASSERT_EQ(Stored(settings->previewPicture).right - Stored(settings->previewPicture).left, 10);
                  const LONG freeX = (cover.right - cover.left) - 10, freeY = (cover.bottom - cover.top) - 10;
                  const struct {
                      const char* name;
                      POINT grab;  // where the press lands, from the picture's corner
                      POINT to;  // where the pointer is let go, from the cover page's corner
                      bool taken;  // the press lands on the picture
                      LONG x, y;  // the percentages: (pointer - page corner - grab) x 100 / free room
                  } cases[] = {
                      {"to the far right",
                       {2, 3},
                       {cover.right - cover.left - 1, 3 + freeY / 4},
                       true,
                       100,
                       freeY / 4 * 100 / freeY},
                      {"to the far left", {8, 3}, {1, 3 + freeY / 2}, true, 0, freeY / 2 * 100 / freeY},
                      {"to a middle point", {5, 5}, {5 + freeX / 2, 5 + freeY}, true, freeX / 2 * 100 / freeX, 100},
                      {"a press beside the picture takes nothing", {-2, 5}, {5 + freeX / 2, 5}, false, -1, -1},
                  };
                  for (const auto& c : cases) {
                      SCOPED_TRACE(c.name);
                      const RECT picture = Stored(settings->previewPicture);
                      const WORD x0 = settings->pictureX, y0 = settings->pictureY;
                      const QPoint press = onWindow({picture.left + c.grab.x, picture.top + c.grab.y});
                      const QPoint release = onWindow({cover.left + c.to.x, cover.top + c.to.y});
                      QTest::mouseMove(window, press);
                      EXPECT_EQ(Cursor() == Qt::PointingHandCursor, c.taken);  // the hand over the picture
                      QTest::mousePress(window, Qt::LeftButton, {}, press);
                      QTest::mouseMove(window, (press + release) / 2);
                      QTest::mouseMove(window, release);
                      QTest::mouseRelease(window, Qt::LeftButton, {}, release);
                      const LONG x = c.taken ? c.x : x0, y = c.taken ? c.y : y0;
                      EXPECT_EQ(settings->pictureX, x);
                      EXPECT_EQ(settings->pictureY, y);
                      EXPECT_EQ(Text(page, 3612), Wide(std::to_string(x)));
                      EXPECT_EQ(Text(page, 3614), Wide(std::to_string(y)));
                      // The picture stands where the percentages put it: X of the free room inside the
                      // cover page less its 4-pixel margin (one pixel in for a small positive share).
                      const RECT moved = Stored(settings->previewPicture);
                      const LONG ox = x * (freeX - 4) / 100;
                      EXPECT_EQ(moved.left - cover.left, ox == 0 && x > 0 ? 1 : ox);
                  }
                  // Away from the picture the former cursor comes back.
                  QTest::mouseMove(window, onWindow({1, 1}));
                  EXPECT_NE(Cursor(), Qt::PointingHandCursor);

                  // What the page shows is the working bitmap, pixel for pixel, at the preview area.
                  QWidget* top = face->window();
                  const auto shown = [&] {
                      const QPoint at = face->mapTo(top, QPoint(area.left, area.top));
                      return QGuiApplication::primaryScreen()
                          ->grabWindow(top->winId(), at.x(), at.y(), area.right - area.left, area.bottom - area.top)
                          .toImage();
                  };
                  const auto differing = [&](const QImage& screen) {
                      int count = 0;
                      for (int y = 0; y < screen.height(); ++y)
                          for (int x = 0; x < screen.width(); ++x)
                              count +=
                                  (screen.pixel(x, y) & 0xFFFFFFu) != (Working(state->previewBitmap, x, y) & 0xFFFFFFu);
                      return count;
                  };
                  const auto reds = [](const QImage& screen) {
                      int count = 0;
                      for (int y = 0; y < screen.height(); ++y)
                          for (int x = 0; x < screen.width(); ++x)
                              count += (screen.pixel(x, y) & 0xFFFFFFu) == 0xFF0000u;
                      return count;
                  };
                  QApplication::processEvents();
                  QImage screen = shown();
                  ASSERT_EQ(screen.width(), area.right - area.left);
                  EXPECT_EQ(differing(screen), 0);
                  // The picture's red is there where the last drag left it.
                  const RECT last = Stored(settings->previewPicture);
                  EXPECT_EQ(screen.pixel(last.left + 4, last.top + 4) & 0xFFFFFFu, 0xFF0000u);
                  EXPECT_EQ(reds(screen), 100);

                  // A change of the settings paints the page again at once: with no cover page only the
                  // page image is left.
                  SendDlgItemMessageW(page, 3604, CB_SETCURSEL, 0, 0);
                  SendMessageW(page, WM_COMMAND, MAKEWPARAM(3604, CBN_SELCHANGE),
                               reinterpret_cast<LPARAM>(GetDlgItem(page, 3604)));
                  screen = shown();
                  EXPECT_EQ(differing(screen), 0);
                  EXPECT_EQ(reds(screen), 0);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
}

}  // namespace
