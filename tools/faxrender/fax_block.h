// The driver's fax block, as the host builds it: fax numbers, resolution and the number of
// documents the fax job spans, in the 4,278-byte little-endian record the fax module reads at
// each document's start. The host carries it as the blob of the spool stream's job header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kFaxBlockSize = 4278;
constexpr uint32_t kFaxBlockOutputFormat = 232;  // u32
constexpr uint32_t kFaxBlockHalftoneFlag = 696;  // u16
constexpr uint32_t kFaxBlockXResolution = 898;  // i16
constexpr uint32_t kFaxBlockYResolution = 900;  // i16
constexpr uint32_t kFaxBlockContrast = 902;  // i16
constexpr uint32_t kFaxBlockBrightness = 904;  // i16
constexpr uint32_t kFaxBlockNumberCount = 1074;  // i16
constexpr uint32_t kFaxBlockExpectedDocuments = 1076;  // u16
constexpr uint32_t kFaxBlockNumbers = 1078;  // 50 x 64 bytes
constexpr uint32_t kFaxBlockNumberSize = 64;
constexpr uint32_t kFaxBlockMaxNumbers = 50;
static_assert(kFaxBlockNumbers + kFaxBlockMaxNumbers * kFaxBlockNumberSize == kFaxBlockSize);

struct FaxBlockOptions {
    std::vector<std::string> numbers;
    int dpiX = 204;  // fine fax resolution
    int dpiY = 196;
    int contrast = 0;  // -50..50
    int brightness = 0;  // -50..50
    uint32_t expectedDocuments = 1;
};

// False with *error saying which option is out of range.
bool FaxBlockBuild(const FaxBlockOptions& options, std::vector<uint8_t>* block, std::string* error);

// Puts `blob` behind the fixed part of the spool stream's job-header record, in place of the blob
// it had, and sets the record's size and blob size to match. False with *error when the stream has
// no well-formed job header before its first page.
bool SpoolJobHeaderBlobSet(std::vector<uint8_t>* spool, const std::vector<uint8_t>& blob, std::string* error);

// Reads a spool stream's records from `fd` up to and including its job header, or up to the
// first page or job-end record, into *head; the rest stays in the file (or pipe). False with
// *error when the data ends inside a record, a record's size cannot be right, or no job header
// comes within the first 16 MB.
bool SpoolHeadRead(int fd, std::vector<uint8_t>* head, std::string* error);

// The copy count of the stream's job header when the header marks it valid; -1 when it does not
// or the stream has no job header before its first page.
int64_t SpoolJobHeaderCopies(const std::vector<uint8_t>& spool);
