// The text form of a spool stream: one record per line, records and fields by name, bytes in hex.
// README.md beside this file describes it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/spool_builder.h"

// Throws SpoolError naming the line that is wrong.
std::vector<uint8_t> SpoolTextCompile(std::string_view text);
// Any bytes: records that do not match a known layout, or that are cut, come out as raw records
// or bytes, so that compiling the dump gives the same bytes again.
std::string SpoolTextDump(const std::vector<uint8_t>& bytes);
