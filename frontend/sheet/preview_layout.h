// The arithmetic of the cover page's miniature: where the page stands in the preview square,
// where the picture goes on the cover page and at what scale, and the position a drag gives.
// All integer and truncating, in 64 bits.
#pragma once

#include "platform/gdi.h"

inline constexpr LONG kLegalLength = 35560;  // hundredths of a millimetre: 355.6 mm

// Places a page of paper w x h (tenths of a millimetre) with the orientation in the square:
// centred, scaled against the Legal length and inset by a tenth on each side. Returns the page
// class: 1 portrait, 2 landscape (another orientation value on portrait paper is kept as the
// class). A paper size with a zero side is taken as Letter.
int CoverPagePreviewLayout(const RECT& square, RECT* page, LONG paperWidth, LONG paperHeight, int orientation);

// The largest part of a rectangle that is square, centred in it.
RECT PreviewSquare(const RECT& area);

// The picture on the cover page rectangle: pictures are drawn at scale / 1150 of their pixels.
struct PicturePlacement {
    bool drawn;
    RECT picture;  // the picture's rectangle on the preview (stored in the settings)
    POINT at;  // where it is drawn (two pixels inside the rectangle's corner)
    SIZE size;  // drawn size
    SIZE source;  // source pixels taken from the picture
    int scale;  // the scale after the largest fitting scale is applied
};
// fitScale is the largest scale that fits, computed when it is 0 (once per picture). The scale is
// held to 10..400 first.
PicturePlacement PicturePlace(const RECT& coverPage, LONG pictureWidth, LONG pictureHeight, int scale, int x, int y,
                              int* fitScale);

// The X and Y percentages a drag gives: the pointer less the grab offset against the free room on
// the cover page; a percentage whose free room is 0 stays as it was; negative ones become 0.
POINT PictureDragPercent(POINT pointer, POINT grab, const RECT& coverPage, const RECT& picture, POINT current);

// How many receivers a cover page of the class lists one by one before "All Users".
inline int ReceiversListedAtMost(int pageClass) { return pageClass == 1 ? 10 : 5; }
