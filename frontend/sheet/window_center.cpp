#include "frontend/sheet/window_center.h"

void WindowCenter(HWND window)
{
    // A page is placed inside its sheet by the sheet; what can move on the screen is the sheet.
    HWND top = GetAncestor(window, GA_ROOT);
    RECT r;
    if (!top || !GetWindowRect(top, &r)) return;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
    SetWindowPos(top, nullptr, x > 0 ? x : 0, y > 0 ? y : 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
