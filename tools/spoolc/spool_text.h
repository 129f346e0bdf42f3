// The text form of a spool stream: one record per line, records and fields by name, bytes in hex.
// README.md beside this file describes it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/spool_layouts/spool_layouts.h"

// Throws SpoolError naming the line that is wrong.
std::vector<uint8_t> SpoolTextCompile(std::string_view text);
// Any bytes: records that do not match a known layout, or that are cut, come out as raw records
// or bytes, so that compiling the dump gives the same bytes again.
std::string SpoolTextDump(const std::vector<uint8_t>& bytes);

// Where a dump reads its bytes, in order: read copies the next n bytes to `to`, false when they
// cannot be read. size is the number of bytes the source holds.
struct SpoolDumpSource {
    void* context;
    bool (*read)(void* context, uint8_t* to, size_t n);
    uint64_t size;
};
// Where a dump writes its text as it is made; false when it cannot be written.
struct SpoolDumpSink {
    void* context;
    bool (*write)(void* context, const char* text, size_t n);
};
// The same dump, written as it is made: memory holds one record's fixed part and a piece of its
// data whatever the size of the source. False when a read or a write failed; the dump stops there.
bool SpoolTextDumpStream(const SpoolDumpSource& source, const SpoolDumpSink& sink);
