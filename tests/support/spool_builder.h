// Writes spool streams record by record, byte-exactly, from a table of record layouts (name,
// type, version, fixed size and named fields at their offsets). Tests and the spoolc tool share
// it; records whose payload another area reads are added to the table by that area.
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
std::vector<uint8_t> SpoolRawRecord(uint16_t type, uint16_t version, const std::vector<uint8_t>& payload,
                                    int64_t sizeOverride = -1);

class SpoolBuilder {
public:
    // A record by layout name, e.g. Add("job_header", {{"v", 1}, {"copies", 3}}).
    SpoolBuilder& Add(std::string_view name, const SpoolFields& fields = {});
    // Any record: header (type, version, size = 8 + payload unless given) and payload.
    SpoolBuilder& Raw(uint16_t type, uint16_t version, const std::vector<uint8_t>& payload = {},
                      int64_t sizeOverride = -1);
    // Bytes as they are (a cut record, garbage).
    SpoolBuilder& Bytes(const std::vector<uint8_t>& bytes);

    SpoolBuilder& Signature() { return Add("signature"); }
    SpoolBuilder& StreamVersion(uint32_t version = 2) { return Add("stream_version", {{"version", version}}); }
    SpoolBuilder& JobHeader(const SpoolFields& fields = {}) { return Add("job_header", fields); }
    SpoolBuilder& JobEnd(const SpoolFields& fields = {}) { return Add("job_end", fields); }
    SpoolBuilder& PageBegin(const SpoolFields& fields = {}) { return Add("page_begin", fields); }
    SpoolBuilder& PageEnd(const SpoolFields& fields = {}) { return Add("page_end", fields); }
    SpoolBuilder& JobData(const std::vector<uint8_t>& payload) { return Add("job_data", {{"data", payload}}); }
    // A page of `records` reserved records between its page record and page-end record.
    SpoolBuilder& Page(uint32_t records = 0);

    uint32_t Position() const { return static_cast<uint32_t>(bytes_.size()); }
    const std::vector<uint8_t>& Data() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// A whole job: signature, stream version 2, job header, `pages` pages, job end. *pagePositions
// receives the positions of the page records, *jobEnd the job-end record's.
std::vector<uint8_t> SpoolSimpleJob(uint32_t pages, std::vector<uint32_t>* pagePositions = nullptr,
                                    uint32_t* jobEnd = nullptr);
