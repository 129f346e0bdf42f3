// What the files of the BitBlt and StretchBlt node share among themselves: the node seen through
// its head, and the questions both the node's slots and its band roads ask of a bitmap and a ROP.
#pragma once

#include <cstdint>

#include "engine/display/commands/cmd_image.h"
#include "engine/display/stores/bitmap_store.h"

inline CmdImageNode* CmdImageOf(CmdNode* node) { return reinterpret_cast<CmdImageNode*>(node); }
inline const CmdImageNode* CmdImageOf(const CmdNode* node) { return reinterpret_cast<const CmdImageNode*>(node); }

inline bool BitmapFlagsHave(const BitmapEntry* bitmap, uint32_t bits)
{
    return bitmap != nullptr && (bitmap->head.flags & bits) != 0;
}
// Pictures whose rows only GDI reads.
inline bool BitmapDecodedByGdi(const BitmapEntry* bitmap)
{
    return bitmap->compression == BitmapCompressionRle4 || bitmap->compression == BitmapCompressionRle8 ||
           bitmap->compression == BitmapCompressionBitFields;
}
inline bool RopReadsDestination(uint32_t rop) { return (((rop >> 1) ^ rop) & 0x5555) != 0; }
inline bool Rop3ReadsSource(uint32_t rop3) { return (((rop3 >> 2) ^ rop3) & 0x33) != 0; }
