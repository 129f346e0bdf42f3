#include "engine/page/page_rect.h"

#include <algorithm>
#include <iterator>

#include "engine/band/band_walk.h"
#include "engine/common/output_module.h"

namespace {

enum Edge { kLeft, kTop, kRight, kBottom };

LONG& EdgeOf(RECT& r, Edge e)
{
    switch (e) {
        case kLeft: return r.left;
        case kTop: return r.top;
        case kRight: return r.right;
        default: return r.bottom;
    }
}

// The page edge under each device edge (left, right, top, bottom), by orientation and mirror.
constexpr Edge kPageEdge[8][4] = {
    {kLeft, kRight, kTop, kBottom}, {kRight, kLeft, kTop, kBottom},  // 0
    {kRight, kLeft, kBottom, kTop}, {kLeft, kRight, kBottom, kTop},  // 1
    {kTop, kBottom, kRight, kLeft}, {kBottom, kTop, kRight, kLeft},  // 2
    {kBottom, kTop, kLeft, kRight}, {kTop, kBottom, kLeft, kRight},  // 3
};

// Device rectangle back to the page: the inverse of RectOrient for the same orientation.
RECT Unorient(uint32_t orientation, uint32_t mirror, const uint32_t pageSize[2], const RECT& device)
{
    // Quarter turns exchange the page's axes: the inverse of a turn is the opposite turn with the
    // device page's size; the others are their own inverse.
    uint32_t inverse = orientation;
    uint32_t size[2] = {pageSize[0], pageSize[1]};
    if (orientation >= 2) {
        size[0] = pageSize[1];
        size[1] = pageSize[0];
        if (!mirror) inverse = orientation == 2 ? 3 : 2;
    }
    RECT page = device;
    RectOrient(inverse, mirror, size, &device, &page);
    return page;
}

LONG RoundDown(LONG v, LONG step)
{
    return step <= 1 ? v : static_cast<LONG>((int64_t{v} - (((int64_t{v} % step) + step) % step)));
}
LONG RoundUp(LONG v, LONG step) { return step <= 1 ? v : -RoundDown(-v, step); }

}  // namespace

void PageRectTrim(const OutputModuleContext* context, uint32_t orientation, uint32_t mirror, const RECT* content,
                  RECT* page)
{
    RECT i{std::max(content->left, page->left), std::max(content->top, page->top),
           std::min(content->right, page->right), std::min(content->bottom, page->bottom)};
    if (i.left >= i.right || i.top >= i.bottom) i = RECT{0, 0, 0, 0};
    const Edge* edges = kPageEdge[(orientation & 3) * 2 + (mirror ? 1 : 0)];
    const uint32_t caps[4] = {IMO_CAPS_TRIM_LEFT, IMO_CAPS_TRIM_RIGHT, IMO_CAPS_TRIM_TOP, IMO_CAPS_TRIM_BOTTOM};
    for (int d = 0; d < 4; ++d)
        if (context->caps & caps[d]) EdgeOf(*page, edges[d]) = EdgeOf(i, edges[d]);
}

void PageRectAlign(OutputModuleContext* context, const uint32_t pageSize[2], uint32_t orientation, uint32_t mirror,
                   RECT* rect)
{
    if (!(context->caps & (IMO_CAPS_TRIM_ALIGN | IMO_CAPS_TRIM_LIMIT))) return;
    RECT device = *rect;
    RectOrient(orientation, mirror, pageSize, rect, &device);
    if (context->caps & IMO_CAPS_TRIM_ALIGN) {
        uint32_t align[4] = {1, 1, 1, 1};
        uint32_t size = sizeof align;
        if (DeviceQueryAsk(context, 8, sizeof device, &device, &size, align) != IMX_OK)
            std::fill(std::begin(align), std::end(align), 1u);
        device.left = RoundDown(device.left, LONG(align[0]));
        device.top = RoundDown(device.top, LONG(align[1]));
        device.right = RoundUp(device.right, LONG(align[2]));
        device.bottom = RoundUp(device.bottom, LONG(align[3]));
    } else {
        RECT area{0, 0, 0, 0};
        uint32_t size = sizeof area;
        if (DeviceQueryAsk(context, 13, sizeof device, &device, &size, &area) != IMX_OK) area = RECT{0, 0, 0, 0};
        device.left = std::min(device.left, area.left);
        device.top = std::min(device.top, area.top);
        device.right = std::max(device.right, area.right);
        device.bottom = std::max(device.bottom, area.bottom);
    }
    *rect = Unorient(orientation, mirror, pageSize, device);
}
