// The Complex command kind (commands merged by the optimiser into one image). Its operations are
// not built yet: every slot answers as an empty one.
#include "engine/display/cmd_ops.h"

const CmdOpRow kCmdOpRowComplex = kCmdOpRowEmpty;
