// The caller's options block for one render call and the defaults that the engine writes into
// its zero fields, derived from the machine's memory.
#pragma once

#include <cstddef>
#include <cstdint>

// Render flags (RenderOptions::flags).
inline constexpr uint32_t RENDER_FLAG_MONOCHROME = 0x1;  // clears header-flags bit 0 (colour job)
inline constexpr uint32_t RENDER_FLAG_CELLS = 0x2;  // cells per side from cellsPerSide
inline constexpr uint32_t RENDER_FLAG_SHEET_FLAG_20 = 0x4;  // adds 0x20 to the sheet's page flags
inline constexpr uint32_t RENDER_FLAG_COPIES = 0x10;  // copy count from copyCount
inline constexpr uint32_t RENDER_FLAG_COPIES_VALID = 0x20;  // sets job flag 0x1
inline constexpr uint32_t RENDER_FLAG_JOB_FLAG_20 = 0x40;  // sets job flag 0x20
inline constexpr uint32_t RENDER_FLAG_POSTER = 0x80;  // poster factor from posterFactor
inline constexpr uint32_t RENDER_FLAG_BOOKLET = 0x100;  // sets job flag 0x2
inline constexpr uint32_t RENDER_FLAG_REVERSE = 0x200;  // sets job flag 0x4

struct RenderOptions {
    uint32_t reserved;
    uint32_t flags;  // RENDER_FLAG_*
    uint32_t bandMemory;  // bytes
    uint32_t resourceObjects;  // resource-count limit
    uint32_t deviceMemoryLimit;  // first byte limit of the resource budget
    uint32_t memoryLimit;  // second byte limit of the resource budget
    uint32_t streamBuffer;  // bytes
    uint32_t textureEntries;
    uint32_t textureBytes;
    uint8_t cellsPerSide;  // with RENDER_FLAG_CELLS
    uint8_t posterFactor;  // with RENDER_FLAG_POSTER
    uint16_t reserved2;
    uint32_t copyCount;  // with RENDER_FLAG_COPIES
};
static_assert(sizeof(RenderOptions) == 44);
static_assert(offsetof(RenderOptions, flags) == 4);
static_assert(offsetof(RenderOptions, bandMemory) == 8);
static_assert(offsetof(RenderOptions, resourceObjects) == 12);
static_assert(offsetof(RenderOptions, deviceMemoryLimit) == 16);
static_assert(offsetof(RenderOptions, memoryLimit) == 20);
static_assert(offsetof(RenderOptions, streamBuffer) == 24);
static_assert(offsetof(RenderOptions, textureEntries) == 28);
static_assert(offsetof(RenderOptions, textureBytes) == 32);
static_assert(offsetof(RenderOptions, cellsPerSide) == 36);
static_assert(offsetof(RenderOptions, posterFactor) == 37);
static_assert(offsetof(RenderOptions, copyCount) == 40);

// Fills every zero field among band memory .. texture bytes with its default; other fields are
// kept. The memory figure M is the smallest of total physical memory, available page file and
// total virtual address space, in whole MB.
void RenderOptionsDefault(RenderOptions* options);
// The memory figure in MB, as RenderOptionsDefault takes it.
uint64_t RenderMachineMemoryMb();
