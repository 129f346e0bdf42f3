// The drawing-command records of the spool stream (types 16 to 25, command kind + 13): the fixed
// number of bytes each kind's reader reads, header included, and the field offsets of the records
// laid out with the page records reader. All fields are little-endian.
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"

// Fixed bytes by command kind (0 for the optimiser's own kinds, which have no record).
inline constexpr uint32_t kCmdRecordSize[CMD_OP_COUNT] = {0, 0, 0, 52, 36, 36, 68, 40, 92, 48, 52, 28, 52};

// Line (type 17, 36 bytes).
namespace CmdLineRecord {
inline constexpr uint32_t x1 = 8, y1 = 12, x2 = 16, y2 = 20, pen = 24, clip = 28, mix = 32;
}
// Path (type 18, 36 bytes).
namespace CmdPathRecord {
inline constexpr uint32_t brushOriginX = 8, brushOriginY = 12, pen = 16, brush = 20, clip = 24, path = 28, mix = 32,
                          backgroundMix = 33, fillMode = 34;
}
// Rect (type 22, 48 bytes).
namespace CmdRectRecord {
inline constexpr uint32_t rect = 8, brushOriginX = 24, brushOriginY = 28, brush = 32, pen = 36, clip = 40, mix = 44;
}
// AlphaBlend (type 23, 52 bytes). Flag bit 1: the bitmap carries per-pixel alpha.
namespace CmdAlphaBlendRecord {
inline constexpr uint32_t source = 8, destination = 24, clip = 40, bitmap = 44, flags = 48, alpha = 50;
}
// RectFill (type 24, 28 bytes).
namespace CmdRectFillRecord {
inline constexpr uint32_t rect = 8, brush = 24;
}
