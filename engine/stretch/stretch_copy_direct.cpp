// The direct format groups of the copy block.
#include "engine/stretch/stretch_kernel_body.h"

STRETCH_DIRECT_GROUPS(STRETCH_DEFINE_GROUP, Copy)
