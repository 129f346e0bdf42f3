#include "engine/stretch/stretch_kernels.h"

#define STRETCH_TABLE_MEMBER(block, group, suffix, width, mirror) &RasterStretch##block##group##suffix,
#define STRETCH_TABLE_GROUP(block, group) STRETCH_MEMBERS(STRETCH_TABLE_MEMBER, block, group)

const RasterStretchKernel StretchKernelTable[kStretchKernelCount] = {
    STRETCH_FORMAT_GROUPS(STRETCH_TABLE_GROUP, Copy) STRETCH_FORMAT_GROUPS(STRETCH_TABLE_GROUP, NotCopy)
        STRETCH_FORMAT_GROUPS(STRETCH_TABLE_GROUP, Paint) STRETCH_FORMAT_GROUPS(STRETCH_TABLE_GROUP, Rop)};
