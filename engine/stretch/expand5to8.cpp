#include "engine/stretch/stretch_blt.h"

// floor(i * 255 / 31): truncated, so entry 4 is 32 and entry 8 is 65.
const uint8_t Expand5To8[32] = {0,   8,   16,  24,  32,  41,  49,  57,  65,  74,  82,  90,  98,  106, 115, 123,
                                131, 139, 148, 156, 164, 172, 180, 189, 197, 205, 213, 222, 230, 238, 246, 255};
