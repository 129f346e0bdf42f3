// The script a test hands to the fake output modules through ImoInitialize's configuration text
// ("script=<address>"), and what the module records into it. One script per render call, so
// render calls on several threads never share one.
#pragma once

#include <cstdint>

#include "rastrel/imo.h"

inline constexpr uint32_t FAKE_MAX_CALLS = 512;
inline constexpr uint32_t FAKE_MAX_ANSWER = 8192;
inline constexpr uint32_t FAKE_QUERY_IDS = 16;

enum FakeAnswerMode : uint32_t {
    FAKE_ANSWER_NONE = 0,  // -2: the engine's built-in answer applies
    FAKE_ANSWER_BYTES = 1,  // the bytes, or -5 with their size when the buffer is smaller
    FAKE_ANSWER_RESULT = 2,  // result with *outputSize = size, nothing written
    FAKE_ANSWER_MEDIA = 3,  // the bytes (an ImoMediaInfo) with the request's paper code in them
};

struct FakeAnswer {
    uint32_t mode;
    int32_t result;
    uint32_t size;
    uint8_t bytes[FAKE_MAX_ANSWER];
};

struct FakeCall {
    uint32_t slot;  // IMO_SLOT_*; IMO_SLOT_COUNT for ImoDeinitialize
    uint32_t args[5];  // DeviceQuery: id, input size, offered output size
        // BandAdd: band's device y, height, plane 0's use count
        // DocBegin: colour job, header bits, copies, OEM size
        // JobBegin: job number; JobData, DocEnd: size
        // SheetBegin, SheetBlank: sides, repeat, paper code, width, height
        // ImageBegin: kind, blob size, blob's first byte; ImageBlank: blob
        // size, blob's first byte; ManualDuplexPass: pass, count
};

struct FakeScript {
    int32_t initResult;  // ImoInitialize's result
    uint32_t emptySlots;  // bit i: leave slot i empty
    int32_t slotResults[IMO_SLOT_COUNT];
    FakeAnswer answers[FAKE_QUERY_IDS];
    // Recorded by the module.
    uint32_t callCount;
    FakeCall calls[FAKE_MAX_CALLS];
    uint32_t initCalls;
    uint32_t deinitCalls;
    void* host;  // the host handle ImoInitialize received
    // Optional: each band BandAdd receives is handed to bandSink(bandUser, band).
    void (*bandSink)(void* user, const ImxImage* band);
    void* bandUser;
    // With halftonePlanes non-zero, HalftoneColor gives that many planes of full ink: plane i
    // flagged halftoneFlags[i] with no data, or, when that is 0, a borrowed 1-bit tile of ones.
    uint32_t halftonePlanes;
    uint8_t halftoneFlags[IMX_MAX_PLANES];
};

inline constexpr uint32_t FAKE_SLOT_DEINITIALIZE = IMO_SLOT_COUNT;
