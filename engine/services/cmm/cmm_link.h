// Linking profiles into a transform: the stages of every step from one profile to the next, the
// chain sampled into a pipeline, and the device-link profile that describes the result.
#pragma once

#include "engine/services/cmm/cmm_pipeline.h"
#include "engine/services/cmm/cmm_profile.h"

inline constexpr uint32_t CMM_LINK_BLACK_PRESERVATION = 0x2;
inline constexpr uint32_t CMM_INTENT_FROM_HEADER = 0xFFFFFFFF;

struct CmmTransform {
    CmmLifecycle lifecycle;
    CmmConversion conversion;
    CmmObject pipeline;
    CmmObject unused;  // kept empty
    CmmObject deviceLink;
};

inline CmmTransform* CmmTransformOf(CmmObject* handle) { return static_cast<CmmTransform*>(handle->body); }

// Channels of a colour space signature.
uint32_t CmmSpaceChannels(uint32_t space);
void CmmLink(CmmGlobals* g, CmmObject* transform, uint32_t count, CmmObject* profiles, uint32_t intentCount,
             const uint32_t* intents, uint32_t options);
// Runs a transform from one bitmap into another.
void CmmTransformRun(CmmGlobals* g, CmmObject* transform, CmmObject* source, CmmObject* destination);
// Writes the device-link profile with its "A2B0" table into the source's block (in memory, of
// source->size bytes) or its file.
void CmmTransformSave(CmmGlobals* g, CmmObject* transform, const CmmProfileSource* source);
// The chain of float stages for the profiles, without sampling it (for tests and the link).
void CmmLinkChain(CmmGlobals* g, CmmObject* chain, uint32_t count, CmmObject* profiles, uint32_t intentCount,
                  const uint32_t* intents, uint32_t options, uint32_t* lastIntent);
