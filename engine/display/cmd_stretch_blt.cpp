// The StretchBlt command kind: a source rectangle of a bitmap scaled (and mirrored) onto a destination
// rectangle under a ROP.
#include "engine/display/cmd_image.h"
#include "engine/display/cmd_ops.h"

namespace {
int StretchBltRead(ResourceStore* store, Stream* stream, CmdNode** out) { return CmdImageRead(store, stream, out, true); }
BitmapEntry* StretchBltBitmap(const CmdNode* node) { return reinterpret_cast<const CmdImageNode*>(node)->bitmap; }
Clip* StretchBltClip(const CmdNode* node) { return reinterpret_cast<const CmdImageNode*>(node)->clip; }
}  // namespace

const CmdOpRow kCmdOpRowStretchBlt = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.bitmapGet = StretchBltBitmap;
    row.clipGet = StretchBltClip;
    row.clipRegionSet = CmdImageClipRegionSet;
    row.equal = CmdImageEqual;
    row.read = StretchBltRead;
    row.destroy = CmdImageDestroy;
    row.clone = CmdImageClone;
    row.renderBand = CmdImageRenderBand;
    row.draw = CmdImageDraw;
    row.colorClassGet = CmdImageColorClassGet;
    row.drawRestore = CmdImageDrawRestore;
    return row;
}();
