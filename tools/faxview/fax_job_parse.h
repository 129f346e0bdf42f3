// The reader of fax job files: splits the byte stream into its PJL lines and its pages, each page
// with the JBIG image entities that stand between its START and END lines. The file comes from
// outside, so every length is checked against what is left before it is used.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr uint32_t kFaxChunkMax = 32768;   // a chunk of an image; all but an image's last are this size
constexpr size_t kFaxLineMax = 4096;       // longer lines are not PJL

struct FaxJobImage {
    std::vector<uint8_t> bie;       // the chunks joined
    std::vector<uint32_t> chunks;   // their sizes
};

struct FaxJobPage {
    int64_t width = -1;       // PAPERWIDTH, pixels (-1: not given)
    int64_t length = -1;      // PAPERLENGTH, pixels
    int64_t resolution = -1;  // RESOLUTION, dpi
    bool ended = false;       // its PAGESTATUS = END was seen
    std::vector<FaxJobImage> images;
};

struct FaxJob {
    std::vector<std::string> lines;  // every line without its CR LF, IMAGELEN lines included
    std::vector<FaxJobPage> pages;
    std::vector<std::string> numbers;  // FAXTEL values
    bool ended = false;       // @PJL EOJ was seen
    bool cancelled = false;   // JOBSTATUS = CANCEL was seen
    size_t size = 0;          // bytes of the file the job takes, its closing UEL line included
};

// Reads the first job of `bytes`: up to the UEL line behind its EOJ, or up to the line that starts
// another job. False with *error (what is wrong, at which byte) when the bytes are not a fax job;
// *job then holds what was read up to there.
bool FaxJobParse(std::span<const uint8_t> bytes, FaxJob* job, std::string* error);

// A line for printing: ESC and other control bytes as <ESC> and <xNN>.
std::string FaxLinePrintable(const std::string& line);
