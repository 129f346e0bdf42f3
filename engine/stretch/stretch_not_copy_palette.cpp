// The palette format groups of the inverted-copy block.
#include "engine/stretch/stretch_kernel_body.h"

STRETCH_PALETTE_GROUPS(STRETCH_DEFINE_GROUP, NotCopy)
