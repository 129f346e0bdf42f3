// The StretchBlt command kind: a source rectangle of a bitmap scaled (and mirrored) onto a
// destination rectangle under a ROP.
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_image.h"

const CmdOpRow kCmdOpRowStretchBlt = CmdImageRow(
    [](ResourceStore* store, Stream* stream, CmdNode** out) { return CmdImageRead(store, stream, out, true); });
