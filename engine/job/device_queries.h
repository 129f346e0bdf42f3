// The device questions that the render call and the sheet code ask the output module. The
// declarations live with the context in engine/common/output_module.h.
#pragma once

#include "engine/common/output_module.h"

// Largest answer buffer the engine grows to when a module asks for more (-5).
inline constexpr uint32_t DEVICE_ANSWER_MAX_BYTES = 16u << 20;
// First buffer offered for the mask pattern.
inline constexpr uint32_t DEVICE_MASK_BUFFER_BYTES = 4112;
