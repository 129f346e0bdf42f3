#include "tools/faxrender/fax_block.h"

#include <cstring>

namespace {

void Store16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Store32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Load16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t Load32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint32_t kRecordHeaderSize = 8;
constexpr uint16_t kTypeJobHeader = 1;
constexpr uint16_t kTypeJobEnd = 2;
constexpr uint16_t kTypePageBegin = 3;
constexpr uint32_t kOneBitGray = 0x80;

// The job header's fixed size by version; its blob size is the last field of the fixed part.
uint32_t JobHeaderFixedSize(uint16_t version)
{
    switch (version) {
    case 0: return 168;
    case 1: return 180;
    case 2: return 188;
    default: return 0;
    }
}

}  // namespace

bool FaxBlockBuild(const FaxBlockOptions& options, std::vector<uint8_t>* block, std::string* error)
{
    if (options.numbers.size() > kFaxBlockMaxNumbers) {
        *error = "too many fax numbers: " + std::to_string(options.numbers.size()) + " (at most 50)";
        return false;
    }
    for (const std::string& number : options.numbers) {
        if (number.empty() || number.size() >= kFaxBlockNumberSize) {
            *error = "fax number \"" + number + "\" must have 1 to 63 characters";
            return false;
        }
    }
    if (options.dpiX < 1 || options.dpiX > 32767 || options.dpiY < 1 || options.dpiY > 32767) {
        *error = "resolution " + std::to_string(options.dpiX) + "x" + std::to_string(options.dpiY) +
                 " is out of range (1 to 32767 dpi)";
        return false;
    }
    if (options.contrast < -50 || options.contrast > 50 || options.brightness < -50 || options.brightness > 50) {
        *error = "contrast and brightness must lie in -50..50";
        return false;
    }
    if (options.expectedDocuments < 1 || options.expectedDocuments > 65535) {
        *error = "expected documents must lie in 1..65535";
        return false;
    }
    block->assign(kFaxBlockSize, 0);
    uint8_t* b = block->data();
    Store32(b + kFaxBlockOutputFormat, kOneBitGray);
    Store16(b + kFaxBlockHalftoneFlag, 0);
    Store16(b + kFaxBlockXResolution, static_cast<uint32_t>(options.dpiX));
    Store16(b + kFaxBlockYResolution, static_cast<uint32_t>(options.dpiY));
    Store16(b + kFaxBlockContrast, static_cast<uint32_t>(static_cast<uint16_t>(options.contrast)));
    Store16(b + kFaxBlockBrightness, static_cast<uint32_t>(static_cast<uint16_t>(options.brightness)));
    Store16(b + kFaxBlockNumberCount, static_cast<uint32_t>(options.numbers.size()));
    Store16(b + kFaxBlockExpectedDocuments, options.expectedDocuments);
    for (size_t i = 0; i < options.numbers.size(); ++i)
        std::memcpy(b + kFaxBlockNumbers + i * kFaxBlockNumberSize, options.numbers[i].data(), options.numbers[i].size());
    return true;
}

bool SpoolJobHeaderBlobSet(std::vector<uint8_t>* spool, const std::vector<uint8_t>& blob, std::string* error)
{
    std::vector<uint8_t>& s = *spool;
    uint64_t position = 0;
    while (position + kRecordHeaderSize <= s.size()) {
        const uint8_t* record = s.data() + position;
        const uint16_t type = static_cast<uint16_t>(Load16(record));
        const uint16_t version = static_cast<uint16_t>(Load16(record + 2));
        const uint32_t size = Load32(record + 4);
        if (size < kRecordHeaderSize || position + size > s.size()) {
            *error = "the spool stream has a record of bad size " + std::to_string(size) + " at byte " +
                     std::to_string(position) + " before its job header";
            return false;
        }
        if (type == kTypeJobEnd || type == kTypePageBegin) break;
        if (type != kTypeJobHeader) {
            position += size;
            continue;
        }
        const uint32_t fixed = JobHeaderFixedSize(version);
        if (fixed == 0 || size < fixed) {
            *error = "the job header at byte " + std::to_string(position) + " has version " + std::to_string(version) +
                     " and size " + std::to_string(size) + ", which this tool cannot extend";
            return false;
        }
        if (static_cast<uint64_t>(fixed) + blob.size() > 0x7fffffffull) {
            *error = "the job header's blob is too large";
            return false;
        }
        std::vector<uint8_t> rebuilt(record, record + fixed);
        rebuilt.insert(rebuilt.end(), blob.begin(), blob.end());
        Store32(rebuilt.data() + 4, static_cast<uint32_t>(rebuilt.size()));
        Store32(rebuilt.data() + fixed - 4, static_cast<uint32_t>(blob.size()));
        const auto at = s.begin() + static_cast<std::ptrdiff_t>(position);
        s.erase(at, at + size);
        s.insert(s.begin() + static_cast<std::ptrdiff_t>(position), rebuilt.begin(), rebuilt.end());
        return true;
    }
    *error = "the spool stream has no job header before its first page";
    return false;
}
