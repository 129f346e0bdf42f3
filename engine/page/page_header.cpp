// Page and page-end records: every version read into one layout, checked against its size first.
#include "engine/page/page_header.h"

#include <algorithm>
#include <cstring>

#include "engine/spool/stream.h"

uint32_t PageHeaderFixedSize(uint16_t version)
{
    switch (version) {
        case 0: return kSpoolPageBeginSizeV0;
        case 1:
        case 2: return kSpoolPageBeginSizeV1;
        case 3: return kSpoolPageBeginSizeV3;
        default: return 0;
    }
}

bool PageHeaderParse(Stream* stream, bool peek, PageHeader* header)
{
    SpoolRecordHeader head;
    if (!SpoolRecordPeek(stream, &head) || head.type != SpoolRecPageBegin) return false;
    const uint32_t fixed = PageHeaderFixedSize(head.version);
    if (fixed == 0 || head.size < fixed) return false;
    uint8_t wire[kSpoolPageBeginSizeV3] = {};
    const int32_t got = peek ? StreamPeek(stream, wire, fixed) : StreamRead(stream, wire, fixed);
    if (got != static_cast<int32_t>(fixed)) return false;

    std::memset(header, 0, sizeof *header);
    uint32_t blobSize;
    if (head.version == 3) {
        SpoolLoadLittleEndian(header, wire, sizeof *header);
        blobSize = header->blobSize;
    } else {
        // Versions 0 to 2 carry a prefix of the layout; their blob size sits at the end.
        const uint32_t prefix = head.version == 0 ? 82 : 98;
        SpoolLoadLittleEndian(header, wire, prefix);
        blobSize =
            LoadLE32(wire + (head.version == 0 ? kSpoolPageBeginBlobSizeOffsetV0 : kSpoolPageBeginBlobSizeOffsetV1));
        header->blobSize = blobSize;
        header->pageFlag20 = (header->pageFlags & PAGE_FLAG_20) ? 1 : 0;
    }
    if (static_cast<uint64_t>(fixed) + blobSize > head.size) return false;
    header->poster = std::min<uint8_t>(header->poster, PAGE_POSTER_MAX);
    return true;
}

bool PageParamsRead(Stream* stream, const PageHeader* page, SheetInsertRequest* request)
{
    SpoolRecordHeader head;
    if (!SpoolRecordPeek(stream, &head) || head.type != SpoolRecPageEnd || head.version > 2) return false;
    const uint32_t fixed = head.version == 0   ? kSpoolPageEndSizeV0
                           : head.version == 1 ? kSpoolPageEndSizeV1
                                               : kSpoolPageEndSizeV2;
    if (head.size < fixed) return false;
    const uint32_t start = stream->position;
    uint8_t wire[kSpoolPageEndSizeV2] = {};
    if (StreamRead(stream, wire, fixed) != static_cast<int32_t>(fixed)) return false;
    if (head.size > fixed && StreamSeek(stream, static_cast<int32_t>(start + head.size), 0) < 0) return false;

    std::memset(request, 0, sizeof *request);
    uint8_t bytes[kSpoolPageEndSizeV2] = {};
    if (head.version == 0) {
        std::memcpy(bytes + 8, reinterpret_cast<const uint8_t*>(page) + 12, 24);  // sheet size and margins
        std::memcpy(bytes + 32, wire + 8, 2);
        bytes[34] = wire[10];
        std::memcpy(bytes + 35, wire + 11, 16);
    } else {
        std::memcpy(bytes, wire, fixed);
    }
    SpoolLoadLittleEndian(request, bytes + 8, sizeof *request);
    return true;
}
