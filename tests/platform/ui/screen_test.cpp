// The screen's size, a window's root and container, and moving and sizing windows, checked
// against what Qt itself reports for the same widgets.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/resources.h"
#include "platform/window.h"
#include "platform/window_hooks.h"
#include "platform/window_qt.h"
#include "tests/support/offscreen.h"

namespace {

constexpr char kScreenDialog[] =
    "DIALOG 120 60 \"Tahoma\" 8 \"Place\"\n"
    "EDITTEXT 11 10 10 60 12\n"
    "GROUPBOX 12 5 30 100 25 \"Frame\"\n";

FAX_RESOURCE_TABLE(ScreenTestResources,
                   {FaxResourceKey(RT_DIALOG_ID), FaxResourceKey(610), kScreenDialog, sizeof kScreenDialog - 1});

INT_PTR QuietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// Runs dialog 610 and hands it to check while it is shown.
void WithDialog(const std::function<void(HWND)>& check)
{
    FaxResourceTableLink_ScreenTestResources();
    platform::ui::SetModalHook([&](HWND dialog) {
        check(dialog);
        EndDialog(dialog, 0);
    });
    DialogBoxParamW(nullptr, MAKEINTRESOURCEW(610), nullptr, QuietProc, 0);
    platform::ui::SetModalHook({});
}

TEST(Screen, MetricsAreThePrimaryScreensSize)
{
    WithDialog([](HWND) {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), screen.width());
        EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), screen.height());
        EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
        EXPECT_EQ(GetSystemMetrics(2), 0);  // an index this layer does not answer
    });
}

TEST(Screen, AncestorsOfControlsAndDialogs)
{
    WithDialog([](HWND dialog) {
        HWND edit = GetDlgItem(dialog, 11);
        const struct {
            HWND window;
            UINT flags;
            HWND expected;
        } cases[] = {
            {edit, GA_PARENT, dialog},    {edit, GA_ROOT, dialog}, {dialog, GA_ROOT, dialog},
            {dialog, GA_PARENT, nullptr}, {edit, 3, nullptr},      {nullptr, GA_ROOT, nullptr},
        };
        for (const auto& c : cases) EXPECT_EQ(GetAncestor(c.window, c.flags), c.expected) << c.flags;
    });
}

// A dialog moves on the screen and a control inside its dialog; a size is kept or set as asked.
TEST(Screen, SetWindowPosMovesAndSizes)
{
    WithDialog([](HWND dialog) {
        QWidget* widget = platform::ui::WidgetOf(dialog);
        const QSize own = widget->frameGeometry().size();
        const struct {
            int x, y, cx, cy;
            UINT flags;
            QRect expected;
        } cases[] = {
            {40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER, QRect(40, 30, own.width(), own.height())},
            {5, 6, 300, 200, SWP_NOZORDER, QRect(5, 6, 300, 200)},
            {99, 99, 250, 180, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE, QRect(5, 6, 250, 180)},
        };
        for (const auto& c : cases) {
            ASSERT_TRUE(SetWindowPos(dialog, nullptr, c.x, c.y, c.cx, c.cy, c.flags));
            EXPECT_EQ(widget->frameGeometry(), c.expected);
            RECT r{};
            ASSERT_TRUE(GetWindowRect(dialog, &r));
            EXPECT_EQ(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)), c.expected);
        }
        // A control moves inside its dialog: its screen place follows the dialog's.
        HWND edit = GetDlgItem(dialog, 11);
        ASSERT_TRUE(SetWindowPos(edit, nullptr, 7, 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
        EXPECT_EQ(platform::ui::WidgetOf(edit)->pos(), QPoint(7, 8));
        RECT r{};
        ASSERT_TRUE(GetWindowRect(edit, &r));
        const QPoint global = platform::ui::WidgetOf(edit)->mapToGlobal(QPoint(0, 0));
        EXPECT_EQ(QPoint(r.left, r.top), global);

        SetLastError(0);
        EXPECT_FALSE(SetWindowPos(nullptr, nullptr, 0, 0, 0, 0, SWP_NOSIZE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    });
}

}  // namespace
