// The reader of fax job files: splits the byte stream into its PJL lines and its pages, each page
// with the JBIG image entities that stand between its START and END lines. The file comes from
// outside, so every length is checked against what is left before it is used. The file is read a
// piece at a time, so that memory holds at most one page's images whatever the file's size.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr uint32_t kFaxChunkMax = 32768;  // a chunk of an image; all but an image's last are this size
constexpr size_t kFaxLineMax = 4096;  // longer lines are not PJL

struct FaxJobImage {
    std::vector<uint8_t> bie;  // the chunks joined
    std::vector<uint32_t> chunks;  // their sizes
};

struct FaxJobPage {
    int64_t width = -1;  // PAPERWIDTH, pixels (-1: not given)
    int64_t length = -1;  // PAPERLENGTH, pixels
    int64_t resolution = -1;  // RESOLUTION, dpi
    bool ended = false;  // its PAGESTATUS = END was seen
    std::vector<FaxJobImage> images;
};

struct FaxJob {
    std::vector<std::string> lines;  // every line without its CR LF, IMAGELEN lines included
    std::vector<FaxJobPage> pages;
    std::vector<std::string> numbers;  // FAXTEL values
    bool ended = false;  // @PJL EOJ was seen
    bool cancelled = false;  // JOBSTATUS = CANCEL was seen
    size_t size = 0;  // bytes of the file the job takes, its closing UEL line included
    size_t lineCount = 0;  // the counts of lines, pages and numbers, kept or not
    size_t pageCount = 0;
    size_t numberCount = 0;
    bool pageOpen = false;  // the last page has not ended (a CANCEL ends it too)
};

// The bytes of a fax job file, read in pieces from a descriptor, or a block in memory.
struct FaxSource {
    int fd = -1;  // -1: the block
    std::span<const uint8_t> block;
    std::vector<uint8_t> buffer;  // bytes read from fd and not yet taken start at `start`
    size_t start = 0;
    uint64_t offset = 0;  // the position in the file of the next byte to take
    bool ended = false;  // fd has nothing more
    int readError = 0;  // the errno of a failed read; the file then seems to end there
};

void FaxSourceOpen(FaxSource* in, int fd);
void FaxSourceOpenBlock(FaxSource* in, std::span<const uint8_t> block);
// Reads on from `offset` (of a file that can be read at any offset); false when it cannot.
bool FaxSourceSeek(FaxSource* in, uint64_t offset);

// What the reader hands on as it reads. With line set, each line goes to it and job->lines stays
// empty; with page set, each page goes to it once it is complete (its END line, the job's CANCEL,
// or the job's end inside it) and job->pages and job->numbers stay empty. With images false the
// image chunks are checked and skipped, not kept.
struct FaxJobSink {
    void* context;
    void (*line)(void* context, const std::string& line);
    void (*page)(void* context, const FaxJobPage& page, size_t number);  // number counts from 1
    bool images;
};

// Reads one job from the source's position: up to the UEL line behind its EOJ, or up to the line
// that starts another job, which is left unread. False with *error (what is wrong, at which byte
// of the job) when the bytes are not a fax job; *job then holds what was read up to there.
bool FaxJobRead(FaxSource* in, const FaxJobSink& sink, FaxJob* job, std::string* error);

// Reads the first job of `bytes`, keeping every line and page.
bool FaxJobParse(std::span<const uint8_t> bytes, FaxJob* job, std::string* error);

// A line for printing: ESC and other control bytes as <ESC> and <xNN>.
std::string FaxLinePrintable(const std::string& line);
