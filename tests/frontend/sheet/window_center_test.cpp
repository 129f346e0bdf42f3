// The sheet and the sender dialog stand in the middle of the screen, whatever their owner's place;
// a window larger than the screen keeps its top-left corner on it. Positions are worked out from
// Qt's own screen and read back from Qt's widgets.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "frontend/sheet/pages.h"
#include "frontend/sheet/window_center.h"
#include "platform/window_qt.h"
#include "tests/frontend/sheet/sheet_fixture.h"

namespace {

using WindowCentre = SheetFixture;

QPoint Centred(QSize size)
{
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    return {std::max(0, (screen.width() - size.width()) / 2), std::max(0, (screen.height() - size.height()) / 2)};
}

QRect Frame(HWND window) { return platform::ui::WidgetOf(window)->frameGeometry(); }

TEST_F(WindowCentre, SheetAndSenderDialogStandInTheMiddleOfTheScreen)
{
    bool sheetSeen = false, senderSeen = false;
    platform::ui::SetModalHook([&](HWND window) {
        if (!GetParent(window)) {
            sheetSeen = true;
            const QRect sheet = Frame(window);
            EXPECT_EQ(sheet.topLeft(), Centred(sheet.size()));
            // With the sheet moved into a corner, the sender dialog still goes to the screen's middle.
            ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
            SendMessageW(window, PSM_SETCURSEL, 1, 0);
            HWND page = reinterpret_cast<HWND>(SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0));
            SendMessageW(page, WM_COMMAND, MAKEWPARAM(3624, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(page, 3624)));
            SendMessageW(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        } else {
            senderSeen = true;
            const QRect dialog = Frame(window);
            EXPECT_EQ(dialog.topLeft(), Centred(dialog.size()));
            EXPECT_NE(dialog.center(), Frame(GetAncestor(GetParent(window), GA_ROOT)).center());
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0);
        }
    });
    FaxSheetRun(nullptr, VelmoraModule());
    EXPECT_TRUE(sheetSeen);
    EXPECT_TRUE(senderSeen);
}

TEST_F(WindowCentre, AWindowLargerThanTheScreenKeepsItsCornerOnIt)
{
    CoverPageSettings settings{};
    FaxSheetState state{};
    state.module = VelmoraModule();
    state.settings = &settings;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    const struct {
        QSize size;
        bool throughControl;  // WindowCenter given one of the dialog's edits
    } cases[] = {
        {{300, 200}, false},     {{301, 201}, true},       {{sw + 100, 200}, false},
        {{300, sh + 60}, false}, {{sw + 1, sh + 1}, true}, {{sw, sh}, false},
    };
    for (const auto& c : cases) {
        bool seen = false;
        platform::ui::SetModalHook([&](HWND dialog) {
            seen = true;
            ASSERT_TRUE(SetWindowPos(dialog, nullptr, 7, 9, c.size.width(), c.size.height(), SWP_NOZORDER));
            WindowCenter(c.throughControl ? GetDlgItem(dialog, 3103) : dialog);
            EXPECT_EQ(Frame(dialog), QRect(Centred(c.size), c.size)) << c.size.width() << " x " << c.size.height();
            EndDialog(dialog, 0);
        });
        DialogBoxParamW(VelmoraModule(), MAKEINTRESOURCEW(3100), nullptr, SenderInfoDlgProc,
                        reinterpret_cast<LPARAM>(&state));
        EXPECT_TRUE(seen);
    }
}

}  // namespace
