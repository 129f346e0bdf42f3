// Shared by the printer record and the printer DC.
#pragma once

#include "platform/print.h"

namespace platform {

// The printer's stored device mode (or the default); false when there is no such printer.
bool PrinterModeRead(LPCWSTR name, DEVMODEW* mode);
// Takes from input the fields its dmFields names.
void PrinterModeMerge(DEVMODEW* mode, const DEVMODEW& input);
// The page in device pixels that a device mode describes; {0, 0} when it describes none.
SIZE PrinterModePage(const DEVMODEW& mode);
// Writes a top-down 24-bit BGR image as an RGB PNG; false (and the last error) on failure.
bool PngWrite(const char* path, const BYTE* rows, LONG stride, LONG width, LONG height);

}  // namespace platform
