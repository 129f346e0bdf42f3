// Writes spool streams record by record, byte-exactly, from the record layout table of
// tools/spool_layouts.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/spool_layouts/spool_layouts.h"

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
