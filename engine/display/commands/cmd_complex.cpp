// The Complex command kind. Its inner commands may read what lies under them (XOR, AND and the
// like), so the area is cleared and every command that touches it is drawn again in order; the
// result stands for the whole area.
#include "engine/display/commands/cmd_complex.h"

#include <algorithm>
#include <cstring>

#include "engine/common/render_heap.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_draw_state.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace {

CmdComplexNode* AsComplex(CmdNode* node) { return reinterpret_cast<CmdComplexNode*>(node); }
const CmdComplexNode* AsComplex(const CmdNode* node) { return reinterpret_cast<const CmdComplexNode*>(node); }

bool Overlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top;
}

void CmdComplexDestroy(CmdNode* node, ResourceStore* store)
{
    CmdComplexNode* n = AsComplex(node);
    CmdListDestroyAll(&n->inner);
    CmdMemoryFree(store, n);
}

int CmdComplexRenderBand(CmdNode*, ResourceStore*, BandSurface*, const RECT*, const RECT*, const RECT*, int)
{
    return CMD_BAND_NO_MASK;
}

void DrawInner(CmdComplexNode* n, ResourceStore* store, BandSurface* surface, const RECT* band, void* extra)
{
    for (CmdNode* x = CmdListFirst(&n->inner); x != CmdListEnd(&n->inner); x = x->next) {
        RECT visible{};
        if (Overlap(x->bounds, *band) && CmdSlotClip(x, band, &visible)) CmdSlotDraw(x, store, surface, band, extra);
    }
}

bool PixelSet(const uint8_t* row, uint32_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

// Puts back every pixel of the surface outside the rectangle (device pixels) from the saved copy.
void RestoreOutside(BandSurface* surface, const uint8_t* saved, const RECT& keep)
{
    const uint32_t bpp = surface->bitsPerPixel;
    for (uint32_t y = 0; y < surface->height; ++y) {
        uint8_t* row = surface->bits + size_t{y} * surface->stride;
        const uint8_t* old = saved + size_t{y} * surface->stride;
        if (LONG(y) < keep.top || LONG(y) >= keep.bottom || keep.left >= keep.right) {
            std::memcpy(row, old, surface->stride);
        } else if (bpp % 8 == 0) {
            const size_t left = size_t(keep.left) * (bpp / 8), right = size_t(keep.right) * (bpp / 8);
            std::memcpy(row, old, left);
            std::memcpy(row + right, old + right, surface->stride - right);
        } else {
            for (uint32_t x = 0; x < surface->width; ++x) {
                if (LONG(x) >= keep.left && LONG(x) < keep.right) continue;
                const uint8_t bit = uint8_t(0x80 >> (x % 8));
                row[x / 8] = PixelSet(old, x) ? uint8_t(row[x / 8] | bit) : uint8_t(row[x / 8] & ~bit);
            }
        }
    }
}

// Copies of commands that lie only partly under the Complex are drawn whole; what they paint
// beyond its bounds would cover later commands there, so the band outside the bounds is put back.
int CmdComplexDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* band, void* extra)
{
    CmdComplexNode* n = AsComplex(node);
    POINT p[2] = {{node->bounds.left, node->bounds.top}, {node->bounds.right, node->bounds.bottom}};
    LPtoDP(surface->drawDC, p, 2);
    RECT keep{std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y), std::max(p[0].x, p[1].x), std::max(p[0].y, p[1].y)};
    const RECT whole{0, 0, LONG(surface->width), LONG(surface->height)};
    if (!IntersectRect(&keep, &keep, &whole)) return 1;
    const size_t size = size_t{surface->stride} * surface->height;
    auto* saved = static_cast<uint8_t*>(RenderAlloc(size));
    if (saved == nullptr) return 0;
    GdiFlush();
    std::memcpy(saved, surface->bits, size);
    const CmdDrawState state(surface);
    DrawInner(n, store, surface, band, extra);
    GdiFlush();
    RestoreOutside(surface, saved, keep);
    RenderFree(saved);
    return 1;
}

int CmdComplexDrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area,
                          const SIZE* extent)
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
    const CmdDrawState state(surface);
    DrawInner(AsComplex(node), store, surface, area, nullptr);
    return GdiFlush();
}

int CmdComplexColorClassGet(const CmdNode* node, uint32_t*, uint8_t* hint, int)
{
    *hint = static_cast<uint8_t>(AsComplex(node)->inner.classBits);
    return CMD_COLOR_DRAW_RESTORE;
}

}  // namespace

CmdComplexNode* CmdComplexCreate(const CmdList* list, const RECT* bounds)
{
    auto* n = static_cast<CmdComplexNode*>(CmdMemoryAlloc(list->owner, sizeof(CmdComplexNode)));
    if (n == nullptr) return nullptr;
    std::memset(static_cast<void*>(n), 0, sizeof *n);
    n->head.op = CmdOpComplex;
    n->head.bounds = *bounds;
    CmdListInit(&n->inner, list->owner, (list->flags & CMD_LIST_PAGE) != 0 ? 1 : 0);
    return n;
}

const CmdOpRow kCmdOpRowComplex = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.destroy = CmdComplexDestroy;
    row.renderBand = CmdComplexRenderBand;
    row.draw = CmdComplexDraw;
    row.colorClassGet = CmdComplexColorClassGet;
    row.drawRestore = CmdComplexDrawRestore;
    return row;
}();
