#include "tests/support/spool_builder.h"

#include "engine/spool/spool_records.h"

SpoolBuilder& SpoolBuilder::Add(std::string_view name, const SpoolFields& fields)
{
    return Bytes(SpoolRecordEncodeByName(name, fields));
}

SpoolBuilder& SpoolBuilder::Raw(uint16_t type, uint16_t version, const std::vector<uint8_t>& payload,
                                int64_t sizeOverride)
{
    return Bytes(SpoolRawRecord(type, version, payload, sizeOverride));
}

SpoolBuilder& SpoolBuilder::Bytes(const std::vector<uint8_t>& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

SpoolBuilder& SpoolBuilder::Page(uint32_t records)
{
    PageBegin({{"width", 1728}, {"height", 2200}});
    for (uint32_t i = 0; i < records; ++i) Raw(SpoolRecReserved64, 0, {static_cast<uint8_t>(i), 0, 0, 0});
    return PageEnd();
}

std::vector<uint8_t> SpoolSimpleJob(uint32_t pages, std::vector<uint32_t>* pagePositions, uint32_t* jobEnd)
{
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1}, {"res_x", 200}, {"res_y", 200}});
    for (uint32_t i = 0; i < pages; ++i) {
        if (pagePositions) pagePositions->push_back(b.Position());
        b.Page(i % 3);
    }
    if (jobEnd) *jobEnd = b.Position();
    b.JobEnd();
    return b.Data();
}
