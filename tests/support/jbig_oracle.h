// jbigkit as the independent oracle of our JBIG encoder: it decodes our bi-level image entities
// and encodes the same images for byte comparison. The library is loaded at run time, so the
// benchmarks and fuzz targets can use it without linking it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct JbigImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rows;  // height rows of (width + 7) / 8 bytes, padding bits 0
};

// True when libjbig could be loaded.
bool JbigkitAvailable();

// Decodes a whole BIE. Returns false when jbigkit reports an error or the data ends early.
bool JbigkitDecode(std::span<const uint8_t> bie, JbigImage& image);

// Encodes with jbigkit: sequential, one layer, order byte 3 (ILEAVE | SMID), LRLTWO, TPBON when
// typicalPrediction, the given L0, MX 0 and MY 0. The image's padding bits must be 0.
std::vector<uint8_t> JbigkitEncode(const JbigImage& image, uint32_t linesPerStripe, bool typicalPrediction);

// The same coding with the output discarded (for timing): returns the number of bytes written.
size_t JbigkitEncodeCount(const JbigImage& image, uint32_t linesPerStripe, bool typicalPrediction);

// Drops the 0x00 bytes that stand directly before a stripe's end marker (FF 02) and not after
// 0xFF: encoders may or may not write them, and they do not change the decoded image.
std::vector<uint8_t> JbigNormalizeStripeEnds(std::span<const uint8_t> bie);

// A PBM file (P4) of the image.
std::vector<uint8_t> PbmWrite(const JbigImage& image);
