// The INI reader behind the private-profile functions, over text already in memory.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The file's text: UTF-16LE after a byte-order mark, UTF-8 (a mark is dropped), or code page 1251
// when the bytes are not valid UTF-8.
std::u16string IniDecode(std::span<const unsigned char> bytes);

// The value of the first matching key in a matching section, trimmed and unquoted.
std::optional<std::u16string> IniFind(std::u16string_view text, std::u16string_view section, std::u16string_view key);
// Section names in file order, each once (first spelling).
std::vector<std::u16string> IniSections(std::u16string_view text);
// Key names of the matching sections in file order, each once; none when the section is missing.
std::vector<std::u16string> IniKeys(std::u16string_view text, std::u16string_view section);
// An optional sign and leading decimal digits, saturated to 32 bits; anything else 0.
int IniParseInt(std::u16string_view value);

}  // namespace platform
