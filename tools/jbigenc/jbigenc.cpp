// jbigenc [--l0 N] [--no-tp] [--band LINES] IN.pbm OUT.bie
// Reads a PBM file (P4 or P1) and writes its JBIG bi-level image entity, coded through Rastrel's
// exports the way the fax output module codes a page: by default one stripe (L0 = the height),
// typical prediction on, the whole image as one band.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rastrel/imx.h"
#include "tools/common/tool_input.h"

namespace {

struct Output {
    FILE* file;
    std::vector<uint8_t> buffer;
    bool failed;
    int writeErrno = 0;
};

void WriteChunk(void* argument, uint8_t** buffer, uint32_t* size) {
    auto* out = static_cast<Output*>(argument);
    if (*buffer != nullptr && *size != 0 && std::fwrite(*buffer, 1, *size, out->file) != *size) {
        out->failed = true;
        if (out->writeErrno == 0) out->writeErrno = errno;
    }
    *buffer = out->buffer.data();
    *size = static_cast<uint32_t>(out->buffer.size());
}

bool HeaderNumber(const std::vector<uint8_t>& file, size_t& pos, uint64_t& value) {
    while (pos < file.size() && (std::isspace(file[pos]) || file[pos] == '#')) {
        if (file[pos] == '#') {
            while (pos < file.size() && file[pos] != '\n') {
                ++pos;
            }
        } else {
            ++pos;
        }
    }
    if (pos >= file.size() || !std::isdigit(file[pos])) {
        return false;
    }
    value = 0;
    while (pos < file.size() && std::isdigit(file[pos])) {
        value = value * 10 + (file[pos++] - '0');
        if (value > 0xFFFFFFFFull) {
            return false;
        }
    }
    return true;
}

// Rows of (width + 7) / 8 bytes, most significant bit first, 1 = black.
bool ParsePbm(const std::vector<uint8_t>& file, uint32_t& width, uint32_t& height, std::vector<uint8_t>& rows,
              std::string& error) {
    if (file.size() < 2 || file[0] != 'P' || (file[1] != '4' && file[1] != '1')) {
        error = "not a PBM file (P4 or P1)";
        return false;
    }
    size_t pos = 2;
    uint64_t w = 0;
    uint64_t h = 0;
    if (!HeaderNumber(file, pos, w) || !HeaderNumber(file, pos, h) || w == 0 || h == 0) {
        error = "bad PBM header";
        return false;
    }
    const uint64_t rowBytes = (w + 7) / 8;
    if (rowBytes * h > (uint64_t{1} << 32)) {
        error = "image too large";
        return false;
    }
    width = static_cast<uint32_t>(w);
    height = static_cast<uint32_t>(h);
    // The data must be there before the rows are allocated: a damaged header could ask for
    // gigabytes. P4 has rowBytes per row, P1 at least one character per pixel.
    const uint64_t least = file[1] == '4' ? rowBytes * h : w * h;
    if (pos + 1 > file.size() || file.size() - pos - 1 < least) {
        error = "PBM data ends early: the header says " + std::to_string(w) + " x " + std::to_string(h) + " pixels";
        return false;
    }
    rows.assign(rowBytes * h, 0);
    if (file[1] == '4') {
        ++pos;
        std::memcpy(rows.data(), file.data() + pos, rowBytes * h);
        return true;
    }
    for (uint64_t i = 0; i < w * h; ++i) {
        while (pos < file.size() && file[pos] != '0' && file[pos] != '1') {
            ++pos;
        }
        if (pos >= file.size()) {
            error = "PBM data ends early";
            return false;
        }
        if (file[pos++] == '1') {
            rows[(i / w) * rowBytes + (i % w) / 8] |= static_cast<uint8_t>(0x80 >> ((i % w) % 8));
        }
    }
    return true;
}

bool ParseCount(const char* text, uint32_t& value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long parsed = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed == 0 || parsed > 0xFFFFFFFFul) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

int Usage() {
    std::fprintf(stderr, "usage: jbigenc [--l0 N] [--no-tp] [--band LINES] IN.pbm OUT.bie\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t linesPerStripe = 0;
    uint32_t bandLines = 0;
    bool typicalPrediction = true;
    const char* inPath = nullptr;
    const char* outPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--l0") == 0 && i + 1 < argc) {
            if (!ParseCount(argv[++i], linesPerStripe)) {
                std::fprintf(stderr, "jbigenc: --l0 needs a positive number\n");
                return 2;
            }
        } else if (std::strcmp(argv[i], "--band") == 0 && i + 1 < argc) {
            if (!ParseCount(argv[++i], bandLines)) {
                std::fprintf(stderr, "jbigenc: --band needs a positive number\n");
                return 2;
            }
        } else if (std::strcmp(argv[i], "--no-tp") == 0) {
            typicalPrediction = false;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return Usage();
        } else if (inPath == nullptr) {
            inPath = argv[i];
        } else if (outPath == nullptr) {
            outPath = argv[i];
        } else {
            return Usage();
        }
    }
    if (inPath == nullptr || outPath == nullptr) {
        return Usage();
    }

    std::vector<uint8_t> file;
    std::string error;
    if (!ToolInputRead(inPath, uint64_t{1} << 32, &file, &error)) {
        std::fprintf(stderr, "jbigenc: %s\n", error.c_str());
        return 1;
    }
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rows;
    if (!ParsePbm(file, width, height, rows, error)) {
        std::fprintf(stderr, "jbigenc: %s: %s\n", inPath, error.c_str());
        return 1;
    }

    Output out{std::fopen(outPath, "wb"), std::vector<uint8_t>(32768), false};
    if (out.file == nullptr) {
        std::fprintf(stderr, "jbigenc: cannot create %s: %s\n", outPath, std::strerror(errno));
        return 1;
    }
    ImxJBIGEncoder* encoder =
        ImxJBIGEncoderInit(width, typicalPrediction ? 0 : IMX_JBIG_NO_TYPICAL_PREDICTION, WriteChunk, &out);
    if (encoder == nullptr) {
        std::fprintf(stderr, "jbigenc: cannot allocate an encoder for width %u\n", width);
        std::fclose(out.file);
        return 1;
    }
    const uint32_t size[2] = {width, height};
    // 64-bit first: a width near 2^32 must not wrap the stride to 0.
    const uint64_t stride = (uint64_t{width} + 7) / 8;
    if (bandLines == 0) {
        bandLines = height;
    }
    ImxStatus status = ImxJBIGImageBegin(encoder, size, linesPerStripe != 0 ? linesPerStripe : height);
    for (uint32_t y = 0; status == IMX_OK && y < height; y += bandLines) {
        const uint32_t lines = height - y < bandLines ? height - y : bandLines;
        status = ImxJBIGImageBandAdd(encoder, rows.data() + size_t{y} * stride, lines, stride);
    }
    if (status == IMX_OK) {
        status = ImxJBIGImageEnd(encoder);
    }
    ImxJBIGEncoderDeinit(encoder);
    const bool closed = std::fclose(out.file) == 0;
    if (out.failed || !closed) {
        std::fprintf(stderr, "jbigenc: writing %s failed: %s\n", outPath,
                     std::strerror(out.writeErrno != 0 ? out.writeErrno : errno));
        return 1;
    }
    if (status != IMX_OK) {
        std::fprintf(stderr, "jbigenc: coding %s failed (encoder status %d)\n", inPath, status);
        return 1;
    }
    return 0;
}
