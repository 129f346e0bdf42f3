// The palette format groups of the generic raster-operation block.
#include "engine/stretch/stretch_kernel_body.h"

STRETCH_PALETTE_GROUPS(STRETCH_DEFINE_GROUP, Rop)
