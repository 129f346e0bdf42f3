#include "tools/faxrender/fax_block.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

const char* RecordName(uint16_t type)
{
    switch (type) {
        case kTypeJobHeader: return "job header";
        case kTypeJobEnd: return "job-end record";
        case kTypePageBegin: return "page record";
        default: return "record";
    }
}

// What is wrong with a record of `size` bytes at `position` when only `left` bytes of the stream
// are there from it on; "" when it fits.
std::string RecordFault(uint16_t type, uint32_t size, uint64_t position, uint64_t left)
{
    const std::string at =
        std::string(RecordName(type)) + " (type " + std::to_string(type) + ") at byte " + std::to_string(position);
    if (size < kRecordHeaderSize) return "the " + at + " has a bad size of " + std::to_string(size) + " bytes";
    if (size > left)
        return "the spool stream ends inside the " + at + ": it has " + std::to_string(size) + " bytes, only " +
               std::to_string(left) + " are there";
    return "";
}

// Reads up to n bytes, fewer only at the end of the data; -1 on a read error.
int64_t ReadFully(int fd, uint8_t* to, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t got = read(fd, to + done, n - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

}  // namespace

bool SpoolHeadRead(int fd, std::vector<uint8_t>* head, std::string* error)
{
    constexpr uint64_t kHeadLimit = 16u << 20;
    std::vector<uint8_t>& h = *head;
    h.clear();
    for (;;) {
        const size_t start = h.size();
        h.resize(start + kRecordHeaderSize);
        const int64_t got = ReadFully(fd, h.data() + start, kRecordHeaderSize);
        if (got < 0) {
            *error = std::string("reading the spool stream failed: ") + std::strerror(errno);
            return false;
        }
        h.resize(start + static_cast<size_t>(got));
        if (got == 0) {
            *error = start == 0 ? "the spool stream is empty" : "the spool stream has no job header before its end";
            return false;
        }
        if (got < static_cast<int64_t>(kRecordHeaderSize)) {
            *error = "the spool stream ends inside a record's header at byte " + std::to_string(start);
            return false;
        }
        const uint16_t type = static_cast<uint16_t>(Load16(h.data() + start));
        const uint32_t size = Load32(h.data() + start + 4);
        if (type == kTypeJobEnd || type == kTypePageBegin) return true;  // the blob setter says what is missing
        if (size < kRecordHeaderSize) {
            *error = RecordFault(type, size, start, size);
            return false;
        }
        if (start + size > kHeadLimit) {
            // A record that claims to run past the limit: a file that ends before the limit cuts
            // it, and that is what to say; only a file that goes on has a head too long.
            uint64_t there = kRecordHeaderSize;
            uint8_t scratch[65536];
            while (start + there < kHeadLimit) {
                const int64_t more =
                    ReadFully(fd, scratch, std::min<uint64_t>(sizeof scratch, kHeadLimit - start - there));
                if (more < 0) {
                    *error = std::string("reading the spool stream failed: ") + std::strerror(errno);
                    return false;
                }
                if (more == 0) break;
                there += static_cast<uint64_t>(more);
            }
            *error = start + there < kHeadLimit ? RecordFault(type, size, start, there)
                                                : "the spool stream has no job header within its first 16 MB";
            return false;
        }
        h.resize(start + size);
        const int64_t body = ReadFully(fd, h.data() + start + kRecordHeaderSize, size - kRecordHeaderSize);
        if (body < 0) {
            *error = std::string("reading the spool stream failed: ") + std::strerror(errno);
            return false;
        }
        if (body < static_cast<int64_t>(size - kRecordHeaderSize)) {
            *error = RecordFault(type, size, start, kRecordHeaderSize + static_cast<uint64_t>(body));
            return false;
        }
        if (type == kTypeJobHeader) return true;
    }
}

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
        // What the sending sheet lets a user type; anything else could reach the fax job's
        // command lines.
        const size_t bad = number.find_first_not_of("0123456789 #*+-P");
        if (bad != std::string::npos) {
            char shown[8];
            std::snprintf(shown, sizeof shown, "0x%02X", static_cast<unsigned char>(number[bad]));
            *error = "fax number \"" + std::string(number, 0, bad) + "...\" holds the byte " + shown +
                     " at character " + std::to_string(bad + 1) + "; a fax number has digits, blanks, #, *, +, - and P";
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
        std::memcpy(b + kFaxBlockNumbers + i * kFaxBlockNumberSize, options.numbers[i].data(),
                    options.numbers[i].size());
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
        const std::string fault = RecordFault(type, size, position, s.size() - position);
        if (!fault.empty()) {
            *error = fault;
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
    *error = s.empty() ? "the spool stream is empty" : "the spool stream has no job header before its first page";
    return false;
}

int64_t SpoolJobHeaderCopies(const std::vector<uint8_t>& spool)
{
    constexpr uint32_t kCopiesValid = 1;
    for (uint64_t position = 0; position + 16 <= spool.size();) {
        const uint8_t* record = spool.data() + position;
        const uint16_t type = static_cast<uint16_t>(Load16(record));
        const uint32_t size = Load32(record + 4);
        if (type == kTypeJobHeader) return (Load32(record + 8) & kCopiesValid) ? Load32(record + 12) : -1;
        if (type == kTypeJobEnd || type == kTypePageBegin || size < kRecordHeaderSize) break;
        position += size;
    }
    return -1;
}
