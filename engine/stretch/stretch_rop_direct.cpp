// The direct format groups of the generic raster-operation block.
#include "engine/stretch/stretch_kernel_body.h"

STRETCH_DIRECT_GROUPS(STRETCH_DEFINE_GROUP, Rop)
