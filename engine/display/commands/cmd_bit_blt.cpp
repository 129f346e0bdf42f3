// The BitBlt command kind: a bitmap (or only a brush) copied at its own size under a ROP.
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_image.h"

const CmdOpRow kCmdOpRowBitBlt = CmdImageRow(
    [](ResourceStore* store, Stream* stream, CmdNode** out) { return CmdImageRead(store, stream, out, false); });
