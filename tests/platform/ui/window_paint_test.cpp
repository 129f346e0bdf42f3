// A dialog's own face as a window: WM_PAINT drawn with the GDI and read back from what Qt put on
// the screen, and the mouse messages that real Qt events over the face give.
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "platform/resources.h"
#include "platform/window.h"
#include "platform/window_hooks.h"
#include "platform/window_qt.h"
#include "tests/support/offscreen.h"

namespace {

// A frame over most of the face (the mouse goes through it) and an edit inside it.
constexpr char kFace[] =
    "DIALOG 200 120 \"Tahoma\" 8\n"
    "GROUPBOX 2 5 5 150 100 \"Frame\"\n"
    "EDITTEXT 3 100 80 40 12\n";

FAX_RESOURCE_TABLE(UiPaintResources, {FaxResourceKey(RT_DIALOG_ID), FaxResourceKey(500), kFace, sizeof kFace - 1});

struct Seen {
    UINT message;
    WPARAM keys;
    POINT at;
};
struct Log {
    COLORREF colour = RGB(255, 0, 0);
    std::vector<PAINTSTRUCT> paints;
    std::vector<Seen> mouse;
} log;

constexpr RECT kBox{20, 30, 80, 70};  // where the dialog paints, in client pixels

INT_PTR FaceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = BeginPaint(window, &paint);
            log.paints.push_back(paint);
            HBRUSH brush = CreateSolidBrush(log.colour);
            FillRect(dc, &kBox, brush);
            DeleteObject(brush);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            log.mouse.push_back({message, wParam, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}});
            return 0;
        default: return 0;
    }
}

// What Qt put on the screen for the widget (not a fresh rendering).
QImage OnScreen(QWidget* widget)
{
    QWidget* top = widget->window();
    const QPoint at = widget->mapTo(top, QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(top->winId(), at.x(), at.y(), widget->width(), widget->height())
        .toImage();
}

QRgb Rgb(COLORREF colour) { return qRgb(GetRValue(colour), GetGValue(colour), GetBValue(colour)); }

class WindowFace : public ::testing::Test {
protected:
    void SetUp() override
    {
        FaxResourceTableLink_UiPaintResources();
        log = {};
    }
    void TearDown() override { platform::ui::SetModalHook({}); }
};

TEST_F(WindowFace, PaintsDrawWithTheGdiIntoTheUpdateRegion)
{
    platform::ui::SetModalHook([](HWND dialog) {
        QWidget* face = platform::ui::WidgetOf(dialog);
        QApplication::processEvents();  // the window shows on the screen
        PAINTSTRUCT outside{};
        EXPECT_EQ(BeginPaint(dialog, &outside), nullptr);  // no paint under way

        InvalidateRect(dialog, nullptr, TRUE);
        UpdateWindow(dialog);
        ASSERT_FALSE(log.paints.empty());
        EXPECT_TRUE(log.paints.back().fErase);
        RECT client{};
        GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, face->width());
        const RECT& all = log.paints.back().rcPaint;
        EXPECT_EQ(std::vector<LONG>({all.left, all.top, all.right, all.bottom}),
                  std::vector<LONG>({0, 0, client.right, client.bottom}));

        // Only the left half of the box is invalid: the right half keeps its old colour.
        log.colour = RGB(0, 0, 255);
        const RECT left{kBox.left, kBox.top, 50, kBox.bottom};
        const size_t before = log.paints.size();
        InvalidateRect(dialog, &left, FALSE);
        UpdateWindow(dialog);
        ASSERT_EQ(log.paints.size(), before + 1);
        EXPECT_FALSE(log.paints.back().fErase);
        const RECT& part = log.paints.back().rcPaint;
        EXPECT_EQ(std::vector<LONG>({part.left, part.top, part.right, part.bottom}),
                  std::vector<LONG>({20, 30, 50, 70}));
        UpdateWindow(dialog);  // nothing left to paint
        EXPECT_EQ(log.paints.size(), before + 1);

        const QImage screen = OnScreen(face);
        const QRgb faceColour = face->palette().color(QPalette::Window).rgb();
        const struct {
            int x, y;
            QRgb colour;
        } points[] = {{20, 30, Rgb(RGB(0, 0, 255))}, {49, 69, Rgb(RGB(0, 0, 255))}, {50, 30, Rgb(RGB(255, 0, 0))},
                      {79, 69, Rgb(RGB(255, 0, 0))}, {80, 50, faceColour},          {19, 50, faceColour},
                      {50, 70, faceColour}};
        for (const auto& p : points)
            EXPECT_EQ(screen.pixel(p.x, p.y) & 0xFFFFFFu, p.colour & 0xFFFFFFu) << p.x << "," << p.y;
        EndDialog(dialog, IDOK);
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(500), nullptr, FaceProc, 0), IDOK);
}

TEST_F(WindowFace, MouseOverTheFaceGivesTheMouseMessages)
{
    platform::ui::SetModalHook([](HWND dialog) {
        QWidget* face = platform::ui::WidgetOf(dialog);
        QWindow* window = face->window()->windowHandle();
        ASSERT_TRUE(window);
        const QPoint origin = face->mapTo(face->window(), QPoint(0, 0));
        const QPoint a = origin + QPoint(30, 40), b = origin + QPoint(60, 45);  // over the frame
        QWidget* edit = platform::ui::WidgetOf(GetDlgItem(dialog, 3));
        const QPoint onEdit = edit->mapTo(face->window(), edit->rect().center());
        const POINT pa{30, 40}, pb{60, 45};

        const struct {
            const char* name;
            QPoint start;  // where the pointer stands before
            std::function<void()> act;
            std::vector<Seen> expected;
        } cases[] = {
            {"press, drag and release",
             a,
             [&] {
                 QTest::mousePress(window, Qt::LeftButton, {}, a);
                 QTest::mouseMove(window, b);
                 QTest::mouseRelease(window, Qt::LeftButton, {}, b);
             },
             {{WM_LBUTTONDOWN, MK_LBUTTON, pa}, {WM_MOUSEMOVE, MK_LBUTTON, pb}, {WM_LBUTTONUP, 0, pb}}},
            {"a move with no button", b, [&] { QTest::mouseMove(window, a); }, {{WM_MOUSEMOVE, 0, pa}}},
            {"shift and the right button",
             b,
             [&] { QTest::mouseClick(window, Qt::RightButton, Qt::ShiftModifier, b); },
             {{WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, pb}, {WM_RBUTTONUP, MK_SHIFT, pb}}},
            {"a double click is two presses",
             a,
             [&] { QTest::mouseDClick(window, Qt::LeftButton, {}, a); },
             {{WM_LBUTTONDOWN, MK_LBUTTON, pa},
              {WM_LBUTTONUP, 0, pa},
              {WM_LBUTTONDOWN, MK_LBUTTON, pa},
              {WM_LBUTTONUP, 0, pa}}},
            {"the edit's own clicks", onEdit, [&] { QTest::mouseClick(window, Qt::LeftButton, {}, onEdit); }, {}},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            QTest::mouseMove(window, c.start);
            log.mouse.clear();
            c.act();
            ASSERT_EQ(log.mouse.size(), c.expected.size());
            for (size_t i = 0; i < c.expected.size(); ++i) {
                EXPECT_EQ(log.mouse[i].message, c.expected[i].message) << i;
                EXPECT_EQ(log.mouse[i].keys, c.expected[i].keys) << i;
                EXPECT_EQ(log.mouse[i].at.x, c.expected[i].at.x) << i;
                EXPECT_EQ(log.mouse[i].at.y, c.expected[i].at.y) << i;
            }
        }
        POINT screen{};
        const QPoint global = face->mapToGlobal(QPoint(7, 9));
        screen = {global.x(), global.y()};
        ASSERT_TRUE(ScreenToClient(dialog, &screen));
        EXPECT_EQ(screen.x, 7);
        EXPECT_EQ(screen.y, 9);
        EndDialog(dialog, IDOK);
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(500), nullptr, FaceProc, 0), IDOK);
}

}  // namespace
