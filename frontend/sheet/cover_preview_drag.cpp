// Dragging the picture on the miniature with the mouse: a press on the picture takes it, moves
// over the cover page set the X and Y edits (which store the percentages and draw again), the
// release lets it go.
#include <string>

#include "frontend/sheet/cover_preview.h"
#include "frontend/sheet/preview_layout.h"

namespace {

constexpr int kXEdit = 3612, kYEdit = 3614;

// One sheet runs at a time, so the drag is the process's.
struct Drag {
    bool dragging;
    bool handShown;
    POINT grab;  // the pointer's offset inside the picture
};
Drag& TheDrag()
{
    static Drag drag{};
    return drag;
}

RECT Stored(const SHORT (&r)[4]) { return {r[0], r[1], r[2], r[3]}; }

bool StrictlyInside(const RECT& r, POINT p) { return p.x > r.left && p.x < r.right && p.y > r.top && p.y < r.bottom; }

void HandShow(FaxSheetState* state, Drag& drag)
{
    HCURSOR previous = SetCursor(state->handCursor);
    if (!drag.handShown) state->savedCursor = previous;  // the cursor that comes back when the pointer leaves
    drag.handShown = true;
}

void NumberSet(HWND page, int id, LONG value)
{
    const std::string digits = std::to_string(value);
    SetDlgItemTextW(page, id, std::u16string(digits.begin(), digits.end()).c_str());
}

}  // namespace

void CoverPreviewMouse(HWND page, FaxSheetState* state, UINT message, WPARAM keys, LPARAM at)
{
    Drag& drag = TheDrag();
    if (message == WM_LBUTTONUP) {
        drag.dragging = false;
        return;
    }
    CoverPageSettings* settings = state->settings;
    RECT area{};
    if (!settings || !settings->pictureOn || !CoverPreviewArea(page, &area)) return;
    const POINT pointer{GET_X_LPARAM(at) - area.left, GET_Y_LPARAM(at) - area.top};
    const RECT picture = Stored(settings->previewPicture), cover = Stored(settings->previewPage);
    const bool onPicture = StrictlyInside(picture, pointer);
    if (message == WM_LBUTTONDOWN) {
        if (onPicture) {
            HandShow(state, drag);
            drag.dragging = true;
            drag.grab = {pointer.x - picture.left, pointer.y - picture.top};
        }
        return;
    }
    if (message != WM_MOUSEMOVE) return;
    if (drag.dragging && keys == MK_LBUTTON && StrictlyInside(cover, pointer)) {
        const POINT percent =
            PictureDragPercent(pointer, drag.grab, cover, picture, {settings->pictureX, settings->pictureY});
        NumberSet(page, kXEdit, percent.x);
        NumberSet(page, kYEdit, percent.y);
    } else if (!onPicture) {
        if (drag.handShown) SetCursor(state->savedCursor);
        drag.handShown = false;
        drag.dragging = false;
    } else {
        HandShow(state, drag);
    }
}
