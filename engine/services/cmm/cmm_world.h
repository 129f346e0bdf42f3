// The colour management entry points: a CMM instance (the core's globals), colour worlds built
// from the built-in sRGB profile and a device profile (or from one profile alone), and the
// conversion of images and single colours through them.
#pragma once

#include "engine/services/cmm/cmm_link.h"
#include "rastrel/api.h"
#include "rastrel/imx_types.h"

typedef CmmObject CmmInstance;

struct CmmWorld {
    ImxImageFormat format;
    CmmInstance* instance;  // not owned; outlives the world
    CmmObject transform;  // owned
};
static_assert(offsetof(CmmWorld, instance) == 176);
static_assert(offsetof(CmmWorld, transform) == 184);

inline constexpr uint32_t CMM_BUILTIN_PROFILE_ID = 101;
inline constexpr const char* CMM_BUILTIN_PROFILE_TYPE = "Profiles";

// Opens one profile from a data source: 0, an ImxStatus, or a system error code.
ImxStatus CmmProfileLoad(CmmInstance* instance, CmmObject* profile, const ImxDataSource* source);

RASTREL_API CmmInstance* ImxCmmInit(void);
RASTREL_API void ImxCmmDeinit(CmmInstance* instance);
RASTREL_API ImxStatus ImxCmmWorldApplyImage(CmmWorld* world, const ImxImage* source, ImxImage* destination);
RASTREL_API ImxStatus ImxCmmWorldApplyColor(CmmWorld* world, const uint8_t* input, uint8_t* output);
RASTREL_API ImxStatus ImxCmmWorldCreate(CmmInstance* instance, const ImxDataSource* profile, uint32_t intent,
                                        uint32_t linkFlags, const ImxImageFormat* format, CmmWorld** world);
RASTREL_API void ImxCmmWorldDestroy(CmmWorld* world);
RASTREL_API ImxStatus ImxCmmWorldLoad(CmmInstance* instance, const ImxDataSource* profile, const ImxImageFormat* format,
                                      CmmWorld** world);
