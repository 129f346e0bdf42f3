// Readers of the tag types the link builder takes from a profile: colorants and white points
// ("XYZ "), tone curves ("curv"), lookup tables ("mft1", "mft2"), descriptions ("desc") and
// signatures ("sig "). Every count is checked against the tag's size before it is used.
#pragma once

#include "engine/services/cmm/cmm_profile.h"
#include "engine/services/cmm/cmm_stage.h"

// The tag's bytes inside the profile's image, or null (size 0) when it is absent or not there yet.
const uint8_t* CmmTagBytes(CmmObject* profile, uint32_t signature, uint32_t* size);

// An "XYZ " tag's first value as value / 65536 (else CMM_STATUS_BAD_XYZ); false when absent.
bool CmmTagReadXyz(CmmGlobals* g, CmmObject* profile, uint32_t signature, float xyz[3]);
// A "curv" tag as a one-channel curve stage (else CMM_STATUS_BAD_CURVE): towards the connection
// space mode 0 (or 2 for a gamma), away from it mode 1 (or 3); no entries is the identity.
void CmmTagReadCurve(CmmGlobals* g, CmmObject* profile, uint32_t signature, bool towardsPcs, CmmObject* stage);
// An "mft1" or "mft2" tag as a serial group: the matrix (three inputs, when not the identity),
// the input curves, the grid and the output curves (else CMM_STATUS_BAD_LUT).
void CmmTagReadLut(CmmGlobals* g, CmmObject* profile, uint32_t signature, CmmObject* group);
// A "desc" tag's ASCII text, NUL-terminated within capacity; empty when absent or not a "desc".
void CmmTagReadDescription(CmmObject* profile, uint32_t signature, char* text, uint32_t capacity);
// A "sig " tag's signature, or 0.
uint32_t CmmTagReadSignature(CmmObject* profile, uint32_t signature);
