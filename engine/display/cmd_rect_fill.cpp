// The RectFill command kind. Its operations are not built yet: every slot answers as an empty one.
#include "engine/display/cmd_ops.h"

const CmdOpRow kCmdOpRowRectFill = kCmdOpRowEmpty;
