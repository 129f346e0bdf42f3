// The "DriverPath" value's text fields: the printer and the driver folder in code page 1251.
#pragma once

#include <cstddef>
#include <string_view>

#include "frontend/common/records.h"

// The driver folder of "DriverPath" in UTF-16, read up to its field's end.
void DriverFolderFromValue(const DriverPathValue& value, WCHAR (&out)[260]);
// Stores a text in a field of "DriverPath" in code page 1251, the field's own encoding, ended by
// a zero. False, with the field left as it was, when the text has a character that 1251 lacks or
// does not fit the field with its terminator: a name stored otherwise would name another printer.
bool DriverPathFieldSet(char* field, size_t size, std::u16string_view text);
