// The spool stream's record layouts as a table (name, type, version, fixed size and named fields
// at their offsets) and the encoding of one record from named field values. The spoolc tool, the
// tests' spool builder and the benches share it; records whose payload another area reads are
// added to the table by that area.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

enum class SpoolFieldKind { U8, U16, U32, I32, U64, Bytes, Chars };

struct SpoolFieldLayout {
    const char* name;
    uint32_t offset;
    SpoolFieldKind kind;
    uint32_t length;  // bytes of a Bytes or Chars field
    int64_t defaultValue;  // integer fields
};

constexpr uint16_t kSpoolAnyVersion = 0xffff;

struct SpoolRecordLayout {
    const char* name;
    uint16_t type;
    uint16_t version;  // kSpoolAnyVersion: any version, no fields (payload as data)
    uint32_t fixedSize;  // header included
    std::vector<SpoolFieldLayout> fields;
    const char* blobSizeField;  // field that counts the data behind the fixed part, or null
};

const std::vector<SpoolRecordLayout>& SpoolRecordLayouts();
// By name; version -1 picks the highest version the table has for that name.
const SpoolRecordLayout* SpoolLayoutFind(std::string_view name, int version = -1);
const SpoolRecordLayout* SpoolLayoutFind(uint16_t type, uint16_t version);
// True when the name has layouts for more than one version.
bool SpoolLayoutVersioned(std::string_view name);

// A field value: integers, raw bytes (Bytes fields and the record's data) or text (Chars fields).
struct SpoolValue {
    std::variant<int64_t, std::vector<uint8_t>, std::string> value;
    SpoolValue(int v) : value(static_cast<int64_t>(v)) {}
    SpoolValue(unsigned v) : value(static_cast<int64_t>(v)) {}
    SpoolValue(long v) : value(static_cast<int64_t>(v)) {}
    SpoolValue(unsigned long v) : value(static_cast<int64_t>(v)) {}
    SpoolValue(long long v) : value(static_cast<int64_t>(v)) {}
    SpoolValue(unsigned long long v) : value(static_cast<int64_t>(v)) {}
    SpoolValue(std::vector<uint8_t> v) : value(std::move(v)) {}
    SpoolValue(std::string v) : value(std::move(v)) {}
    SpoolValue(const char* v) : value(std::string(v)) {}
};

// Field names of the layout, plus "v" (version), "size" (overrides the header's size), "type"
// (overrides the header's type) and "data" (bytes behind the fixed part: the blob or payload).
using SpoolFields = std::vector<std::pair<std::string, SpoolValue>>;

struct SpoolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One record's bytes. Throws SpoolError for an unknown field, a value out of range or text that
// does not fit its field.
std::vector<uint8_t> SpoolRecordEncode(const SpoolRecordLayout& layout, const SpoolFields& fields);
// The layout named, at the version its "v" field gives or else the highest; throws SpoolError
// for an unknown name.
std::vector<uint8_t> SpoolRecordEncodeByName(std::string_view name, const SpoolFields& fields);
std::vector<uint8_t> SpoolRawRecord(uint16_t type, uint16_t version, const std::vector<uint8_t>& payload,
                                    int64_t sizeOverride = -1);
