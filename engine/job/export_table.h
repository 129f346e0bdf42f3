// Rastrel's export table: every exported name with its ordinal, in ordinal order. Ordinals 1 to 6
// are second names of the services at 8, 9, 10, 11, 13 and 14. The output module binds the
// services by ordinal, so the ordinals are part of the interface. The table is the library's
// ordinal table (FaxModuleOrdinals), through which GetProcAddress finds an ordinal's export.
#pragma once

#include <cstdint>

#include "platform/kernel.h"

inline constexpr uint32_t RASTREL_EXPORT_COUNT = 37;
inline constexpr const char* RASTREL_EXPORT_MODULE_NAME = "Rastrelcore";

extern "C" const FaxModuleOrdinal FaxModuleOrdinals[];

// The name of an ordinal, or null when the library has no such ordinal.
const char* ExportNameOfOrdinal(uint32_t ordinal);
