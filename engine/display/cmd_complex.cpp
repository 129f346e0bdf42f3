// The Complex command kind. Its inner commands may read what lies under them (XOR, AND and the
// like), so the area is cleared and every command that touches it is drawn again in order; the
// result stands for the whole area.
#include "engine/display/cmd_complex.h"

#include <algorithm>
#include <cstring>

#include "engine/band/band_surface.h"
#include "engine/display/cmd_ops.h"
#include "engine/job/render_call.h"
#include "platform/gdi.h"

namespace {

CmdComplexNode* AsComplex(CmdNode* node) { return reinterpret_cast<CmdComplexNode*>(node); }
const CmdComplexNode* AsComplex(const CmdNode* node) { return reinterpret_cast<const CmdComplexNode*>(node); }

bool Overlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top;
}

void Destroy(CmdNode* node, ResourceStore*)
{
    CmdComplexNode* n = AsComplex(node);
    CmdListDestroyAll(&n->inner);
    RenderFree(n);
}

int RenderBand(CmdNode*, ResourceStore*, BandSurface*, const RECT*, const RECT*, const RECT*, int)
{
    return CMD_BAND_NO_MASK;
}

int Draw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* band, void* extra)
{
    CmdComplexNode* n = AsComplex(node);
    for (CmdNode* x = CmdListFirst(&n->inner); x != CmdListEnd(&n->inner); x = x->next) {
        RECT visible{};
        if (Overlap(x->bounds, *band) && CmdSlotClip(x, band, &visible)) CmdSlotDraw(x, store, surface, band, extra);
    }
    return 1;
}

int DrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area, const SIZE* extent)
{
    SIZE size{};
    if (extent != nullptr) {
        size = *extent;
    } else {
        POINT p[2] = {{area->left, area->top}, {area->right, area->bottom}};
        LPtoDP(surface->drawDC, p, 2);
        size = SIZE{std::max<LONG>(p[0].x, p[1].x), std::max<LONG>(p[0].y, p[1].y)};
    }
    BandSurfaceClear(surface, size);
    BandSurfaceResetDC(surface);
    Draw(node, store, surface, area, nullptr);
    BandSurfaceResetDC(surface);
    return GdiFlush();
}

int ColorClassGet(const CmdNode* node, uint32_t*, uint8_t* hint, int)
{
    *hint = static_cast<uint8_t>(AsComplex(node)->inner.classBits);
    return CMD_COLOR_DRAW_RESTORE;
}

}  // namespace

CmdComplexNode* CmdComplexCreate(const CmdList* list, const RECT* bounds)
{
    auto* n = static_cast<CmdComplexNode*>(RenderAlloc(sizeof(CmdComplexNode)));
    if (n == nullptr) return nullptr;
    std::memset(static_cast<void*>(n), 0, sizeof *n);
    n->head.op = CmdOpComplex;
    n->head.bounds = *bounds;
    CmdListInit(&n->inner, list->owner, (list->flags & CMD_LIST_PAGE) != 0 ? 1 : 0);
    return n;
}

const CmdOpRow kCmdOpRowComplex = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.destroy = Destroy;
    row.renderBand = RenderBand;
    row.draw = Draw;
    row.colorClassGet = ColorClassGet;
    row.drawRestore = DrawRestore;
    return row;
}();
