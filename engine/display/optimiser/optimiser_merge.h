// What the optimiser's passes share: the state of one run over a list and the merges it tries at
// each node. A merge answers -1 (memory ran short), 0 (not applied) or 1 (applied; *next is
// where the walk goes on).
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"
#include "platform/types.h"

struct ResourceStore;
struct Clip;
struct BrushEntry;
struct BitmapEntry;

struct OptimiseRun {
    CmdList* list;
    ResourceStore* store;
    uint32_t direction;  // band direction: 0, 1 horizontal strips; 2, 3 vertical ones
};

inline constexpr int MERGE_FAILED = -1;
inline constexpr int MERGE_NOT_APPLIED = 0;
inline constexpr int MERGE_APPLIED = 1;

inline constexpr uint8_t MIX_XOR = 7;  // R2_XORPEN
inline constexpr uint8_t MIX_MASK = 9;  // R2_MASKPEN
inline constexpr uint8_t MIX_NOT_XOR = 10;  // R2_NOTXORPEN
inline constexpr uint8_t MIX_COPY = 13;  // R2_COPYPEN

int CmdMergeBlts(OptimiseRun* run, CmdNode* node, CmdNode** next);
int CmdMergeClippedRect(OptimiseRun* run, CmdNode* node, CmdNode** next);
int CmdMergeXorSandwich(OptimiseRun* run, CmdNode* node, CmdNode** next);
int CmdMergeXnorSandwich(OptimiseRun* run, CmdNode* node, CmdNode** next);
int CmdMergeFillThroughMask(OptimiseRun* run, CmdNode* node, CmdNode** next);
int CmdMergeXorAndXorBlts(OptimiseRun* run, CmdNode* node, CmdNode** next);
int CmdMergeMaskPairs(OptimiseRun* run, CmdNode* node, CmdNode** next);
int CmdMergeXorPatternSandwich(OptimiseRun* run, CmdNode* node, CmdNode** next);

// Candidates for Complex commands, in list order; a slot may be cleared to null.
struct ComplexCandidates {
    uint32_t count;
    uint32_t capacity;
    CmdList* list;
    CmdNode** items;
};
// 1, or 0 when the array cannot grow.
int ComplexCandidateAdd(ComplexCandidates* candidates, CmdNode* node);
void ComplexCandidatesFree(ComplexCandidates* candidates);
// Makes every group of overlapping candidates one Complex command; 1, or 0 on failure.
int ComplexBuildAll(ComplexCandidates* candidates);

// Small questions the passes ask of a node through its kind's slots.
bool CmdStrictOverlap(const RECT& a, const RECT& b);
bool CmdPenIsNull(const CmdNode* node);
uint8_t CmdMix(const CmdNode* node);  // 0 for kinds without a mix
uint32_t CmdRop(const CmdNode* node);  // 0 for kinds without a ROP
bool CmdIsImage(const CmdNode* node);  // BitBlt or StretchBlt
bool CmdIsPathOrRect(const CmdNode* node);
// A 1-bit bitmap stored plainly whose two palette entries are black and white, in either order.
bool CmdBitmapBlackAndWhite(ResourceStore* store, const BitmapEntry* bitmap);
// Unlinks the node and destroys it through its kind.
void CmdNodeDiscard(OptimiseRun* run, CmdNode* node);
