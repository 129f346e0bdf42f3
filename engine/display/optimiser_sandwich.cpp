// Raster-operation sandwiches: XOR, paint, XOR again (and the like) leave the first operation's
// picture where the middle one painted black and the destination elsewhere.
#include "engine/display/optimiser_merge.h"

int CmdMergeXorSandwich(OptimiseRun*, CmdNode*, CmdNode**) { return MERGE_NOT_APPLIED; }
int CmdMergeXnorSandwich(OptimiseRun*, CmdNode*, CmdNode**) { return MERGE_NOT_APPLIED; }
int CmdMergeFillThroughMask(OptimiseRun*, CmdNode*, CmdNode**) { return MERGE_NOT_APPLIED; }
