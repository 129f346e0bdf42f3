// Decoding a page's JBIG image entities with jbigkit, and writing the pixels as PBM or PNG.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// One bi-level image: rows of (width + 7) / 8 bytes, most significant bit first, 1 = black.
struct FaxBitmap {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rows;
};

// Decodes BIEs standing one after another in `data` (an image whose last chunk was full runs
// straight into the next one). False with *error when jbigkit rejects the data, the data ends
// inside an image, or an image's header says it is larger than maxWidth x maxHeight.
bool FaxBieDecode(std::span<const uint8_t> data, std::vector<FaxBitmap>* images, std::string* error,
                  uint32_t maxWidth = 16384, uint32_t maxHeight = 32768);

struct ToolOutput;
// Writes the image to path; an output that is the file inputFd reads (-1: none) is refused. With
// `pending` the finished file is closed but not yet placed and is added there, for the caller to
// commit or discard with the rest of its run.
bool FaxWritePbm(const FaxBitmap& image, const std::string& path, std::string* error, int inputFd = -1,
                 std::vector<ToolOutput>* pending = nullptr);
bool FaxWritePng(const FaxBitmap& image, const std::string& path, std::string* error, int inputFd = -1,
                 std::vector<ToolOutput>* pending = nullptr);
