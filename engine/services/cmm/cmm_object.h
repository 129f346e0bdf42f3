// The colour management core's one kind of thing: a typed object, a small handle plus one heap
// block that holds a method area (16 interface slots) and the object's body. Every core operation
// takes the CMM globals first and reports failure by raising a status code in the globals' error
// state instead of returning it; the operations that follow see the raised flag and stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

// Object types.
typedef uint32_t CmmObjectType;
inline constexpr CmmObjectType CMM_TYPE_GLOBALS = 0x100000;
inline constexpr CmmObjectType CMM_TYPE_STREAM = 0x102000;
inline constexpr CmmObjectType CMM_TYPE_BITMAP = 0x104000;
inline constexpr CmmObjectType CMM_TYPE_STAGE_MATRIX = 0x200000;
inline constexpr CmmObjectType CMM_TYPE_STAGE_CURVES = 0x201000;
inline constexpr CmmObjectType CMM_TYPE_STAGE_GRID = 0x202000;
inline constexpr CmmObjectType CMM_TYPE_STAGE_FUNCTION = 0x203000;
inline constexpr CmmObjectType CMM_TYPE_STAGE_GROUP = 0x204000;
inline constexpr CmmObjectType CMM_TYPE_STAGE_FANOUT = 0x205000;
inline constexpr CmmObjectType CMM_TYPE_TRANSFORM = 0x300000;
inline constexpr CmmObjectType CMM_TYPE_PROFILE = 0x301000;
inline constexpr CmmObjectType CMM_TYPE_PIPELINE = 0x400000;

// Status codes raised in the globals.
typedef uint32_t CmmStatus;
inline constexpr CmmStatus CMM_STATUS_NONE = 0;
inline constexpr CmmStatus CMM_STATUS_FAILED = 0x10100000;
inline constexpr CmmStatus CMM_STATUS_NO_MEMORY = 0x10104000;
inline constexpr CmmStatus CMM_STATUS_OPEN_FAILED = 0x10106000;
inline constexpr CmmStatus CMM_STATUS_CREATED = 0x10109000;  // noted, never raised
inline constexpr CmmStatus CMM_STATUS_NO_DATA = 0x1010b000;
inline constexpr CmmStatus CMM_STATUS_NO_ROOM = 0x1010c000;
inline constexpr CmmStatus CMM_STATUS_NO_FILE_NAME = 0x1010d000;
inline constexpr CmmStatus CMM_STATUS_SINGULAR = 0x10200000;  // class 0: reported as success
inline constexpr CmmStatus CMM_STATUS_BAD_CURVE = 0x10300000;
inline constexpr CmmStatus CMM_STATUS_BAD_LUT = 0x10301000;
inline constexpr CmmStatus CMM_STATUS_BAD_XYZ = 0x10302000;
inline constexpr CmmStatus CMM_STATUS_SPACES_DIFFER = 0x10303000;
inline constexpr CmmStatus CMM_STATUS_NOT_A_PROFILE = 0x10304000;

inline constexpr uint32_t CMM_METHOD_SLOTS = 16;
inline constexpr uint32_t CMM_SLOT_LIFECYCLE = 0;
inline constexpr uint32_t CMM_SLOT_CONVERSION = 1;
inline constexpr uint32_t CMM_SLOT_PROFILE = 2;
inline constexpr uint32_t CMM_SLOT_STREAM = 3;
inline constexpr uint32_t CMM_CONVERSION_BUFFER_SIZE = 16384;

// The handle, held by value inside other records or on the caller's stack.
struct CmmObject {
    CmmObjectType type;  // 0 for an empty handle
    uint32_t bodySize;
    void* block;  // owned
    void** methods;  // the start of the block: CMM_METHOD_SLOTS interface pointers
    void* body;  // right behind the method area
};
static_assert(sizeof(CmmObject) == 32);
static_assert(offsetof(CmmObject, block) == 8);
static_assert(offsetof(CmmObject, methods) == 16);
static_assert(offsetof(CmmObject, body) == 24);

// The body of the globals object: the error state and the byte-order conversion buffer.
struct CmmGlobals {
    CmmStatus status;
    uint32_t raised;  // 1: an operation has failed and the ones after it must stop
    uint8_t* buffer;  // points at conversion
    uint8_t conversion[CMM_CONVERSION_BUFFER_SIZE];
};
static_assert(offsetof(CmmGlobals, buffer) == 8);
static_assert(offsetof(CmmGlobals, conversion) == 16);

// Slot 0: the lifecycle of an object. Every operation is optional.
struct CmmLifecycle {
    void (*destroy)(CmmGlobals* g, CmmObject* self);
    void (*copyHook)(CmmGlobals* g, CmmObject* source, CmmObject* copy);
    void (*third)(CmmGlobals* g, CmmObject* self);
    void (*fourth)(CmmGlobals* g, CmmObject* self);
    void (*write)(CmmGlobals* g, CmmObject* self, CmmObject* stream);
    void (*reattach)(CmmGlobals* g, CmmObject* self);
};

// Slot 1: conversion. For stages the data is the channel counts and convertRows converts a run
// of float pixels (inputs floats in, outputs floats out per pixel, every channel on 0..255).
struct CmmConversion {
    uint32_t inputs;
    uint32_t outputs;
    void (*convertRows)(CmmGlobals* g, CmmObject* self, const float* in, float* out, uint32_t pixels);
    void (*convertBitmaps)(CmmGlobals* g, CmmObject* self, CmmObject* source, CmmObject* destination);
    void (*run)(CmmGlobals* g, CmmObject* self, CmmObject* source, CmmObject* destination);
};

// The error state.
void CmmRaise(CmmGlobals* g, CmmStatus status);
inline bool CmmFailed(const CmmGlobals* g) { return g != nullptr && g->raised != 0; }
// The class a front-door wrapper returns for a status (0 = success).
uint32_t CmmStatusClass(CmmStatus status);
// A front-door wrapper: clears the status, runs the operation, clears the raised flag and
// returns the class of what was recorded.
template <typename Operation>
uint32_t CmmFrontDoor(CmmGlobals* g, Operation&& operation)
{
    g->status = CMM_STATUS_NONE;
    // The readers keep their C++ containers from running out themselves; this is the last net, so
    // that no exception leaves an Imx entry point.
    try {
        operation();
    } catch (const std::bad_alloc&) {
        CmmRaise(g, CMM_STATUS_NO_MEMORY);
    }
    g->raised = 0;
    return CmmStatusClass(g->status);
}

// Memory services: failures raise CMM_STATUS_NO_MEMORY when globals are given.
void* CmmAlloc(CmmGlobals* g, size_t n);
void CmmFree(void* p);
void CmmCopyBytes(void* destination, const void* source, size_t n);  // overlapping ranges are fine
void CmmFillBytes(void* destination, uint8_t value, size_t n);
void CmmSwapBytes(void* a, void* b, size_t n);

// Objects.
void CmmObjectInit(CmmObject* handle, CmmObjectType type);
void CmmObjectAllocate(CmmGlobals* g, CmmObject* handle);  // uses handle->bodySize
void CmmObjectRelease(CmmGlobals* g, CmmObject* handle);
void CmmObjectCopy(CmmGlobals* g, CmmObject* source, CmmObject* destination);
void CmmObjectReattach(CmmGlobals* g, CmmObject* handle);
// Points a method slot at an interface inside the body.
inline void CmmObjectSetSlot(CmmObject* handle, uint32_t slot, void* interface) { handle->methods[slot] = interface; }
template <typename Interface>
Interface* CmmObjectSlot(const CmmObject* handle, uint32_t slot)
{
    if (handle == nullptr || handle->methods == nullptr) return nullptr;
    return static_cast<Interface*>(handle->methods[slot]);
}

// Lifecycle and conversion dispatchers (nothing when the object lacks the operation).
void CmmObjectWrite(CmmGlobals* g, CmmObject* self, CmmObject* stream);
void CmmObjectConvertRows(CmmGlobals* g, CmmObject* self, const float* in, float* out, uint32_t pixels);
void CmmObjectRun(CmmGlobals* g, CmmObject* self, CmmObject* source, CmmObject* destination);
// The channel counts of an object with a conversion interface (0, 0 otherwise).
uint32_t CmmObjectInputs(const CmmObject* self);
uint32_t CmmObjectOutputs(const CmmObject* self);

// The globals object (CmmInstance): 0, or class 2 when its block cannot be had.
uint32_t CmmGlobalsInit(CmmObject* handle);
inline CmmGlobals* CmmGlobalsOf(CmmObject* handle) { return static_cast<CmmGlobals*>(handle->body); }

// Keyword line reader: when line starts with keyword, rewrites the rest of the line in place at
// its start (tabs as blanks, leading blanks dropped, runs of blanks as one, NUL-terminated) and
// returns its length; otherwise the comparison's result; an empty keyword gives 0.
int CmmKeywordLine(char* line, const char* keyword);
