// The palette format groups of the source-paint block.
#include "engine/stretch/stretch_kernel_body.h"

STRETCH_PALETTE_GROUPS(STRETCH_DEFINE_GROUP, Paint)
