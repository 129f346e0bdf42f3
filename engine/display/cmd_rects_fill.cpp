// The RectsFill command kind (one brush filling a list of rectangles). Its operations are not
// built yet: every slot answers as an empty one.
#include "engine/display/cmd_ops.h"

const CmdOpRow kCmdOpRowRectsFill = kCmdOpRowEmpty;
