// The Blts command kind (a run of image commands merged by the optimiser). Its operations are not
// built yet: every slot answers as an empty one.
#include "engine/display/cmd_ops.h"

const CmdOpRow kCmdOpRowBlts = kCmdOpRowEmpty;
