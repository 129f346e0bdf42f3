// The BitBlt command kind: a bitmap (or only a brush) copied at its own size under a ROP.
#include "engine/display/cmd_image.h"
#include "engine/display/cmd_ops.h"

namespace {
int BitBltRead(ResourceStore* store, Stream* stream, CmdNode** out) { return CmdImageRead(store, stream, out, false); }
BitmapEntry* BitBltBitmap(const CmdNode* node) { return reinterpret_cast<const CmdImageNode*>(node)->bitmap; }
Clip* BitBltClip(const CmdNode* node) { return reinterpret_cast<const CmdImageNode*>(node)->clip; }
}  // namespace

const CmdOpRow kCmdOpRowBitBlt = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.bitmapGet = BitBltBitmap;
    row.clipGet = BitBltClip;
    row.clipRegionSet = CmdImageClipRegionSet;
    row.equal = CmdImageEqual;
    row.read = BitBltRead;
    row.destroy = CmdImageDestroy;
    row.clone = CmdImageClone;
    row.renderBand = CmdImageRenderBand;
    row.draw = CmdImageDraw;
    row.colorClassGet = CmdImageColorClassGet;
    row.drawRestore = CmdImageDrawRestore;
    return row;
}();
