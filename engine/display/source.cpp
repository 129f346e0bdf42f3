#include "engine/display/source.h"

#include "engine/display/cmd_ops.h"

const SourceKindRow* const SourceKindSlots[SOURCE_KIND_COUNT] = {&kSourceRowBitmap, &kSourceRowBrush};

static const SourceKindRow* SourceRow(uint32_t kind)
{
    return kind < SOURCE_KIND_COUNT ? SourceKindSlots[kind] : nullptr;
}

void SourceRender(Source* source, ResourceStore* store, BandSurface* surface)
{
    const SourceKindRow* row = SourceRow(source->kind);
    if (row != nullptr && row->render != nullptr) row->render(source, store, surface);
}

int SourceEqual(const Source* a, const Source* b)
{
    if (a == b) return 1;
    if (a == nullptr || b == nullptr || a->kind != b->kind) return 0;
    const SourceKindRow* row = SourceRow(a->kind);
    if (row == nullptr || row->equal == nullptr) return 0;
    return row->equal(a, b) != 0 ? 1 : 0;
}

Source* SourcePrepare(CmdNode* node, ResourceStore* store, uint32_t a, uint32_t b)
{
    if (node->op >= CMD_OP_COUNT) return nullptr;
    const SourceKindRow* row = SourceRow(CmdOpSourceKind[node->op]);
    if (row == nullptr || row->prepare == nullptr) return nullptr;
    return row->prepare(node, store, a, b);
}

void SourceRelease(Source* source, ResourceStore* store, int flag)
{
    const SourceKindRow* row = SourceRow(source->kind);
    if (row != nullptr && row->release != nullptr) row->release(source, store, flag);
}

Source* SourceClone(const Source* source, ResourceStore* store)
{
    const SourceKindRow* row = SourceRow(source->kind);
    if (row == nullptr || row->clone == nullptr) return nullptr;
    return row->clone(source, store);
}

int SourceAttach(Source* source, ResourceStore* owner)
{
    source->owner = owner;
    return 1;
}

void SourceRenderBand(Source* source, ResourceStore* store, BandSurface* surface, const RECT* band, void* argument,
                      const RECT* clear, int accumulate)
{
    const SourceKindRow* row = SourceRow(source->kind);
    if (row != nullptr && row->renderBand != nullptr)
        row->renderBand(source, store, surface, band, argument, clear, accumulate);
}
