// jbigenc [--l0 N] [--no-tp] [--band LINES] IN.pbm OUT.bie
// Reads a PBM file (P4 or P1) and writes its JBIG bi-level image entity, coded through Rastrel's
// exports the way the fax output module codes a page: by default one stripe (L0 = the height),
// typical prediction on. A raw PBM in a regular file is read and coded a band at a time (256
// lines unless --band says otherwise), any other input whole first; the stream is the same.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rastrel/imx.h"

namespace {

struct Output {
    FILE* file;
    std::vector<uint8_t> buffer;
    bool failed;
};

void WriteChunk(void* argument, uint8_t** buffer, uint32_t* size) {
    auto* out = static_cast<Output*>(argument);
    if (*buffer != nullptr && *size != 0 && std::fwrite(*buffer, 1, *size, out->file) != *size) {
        out->failed = true;
    }
    *buffer = out->buffer.data();
    *size = static_cast<uint32_t>(out->buffer.size());
}

// The header's next number, after white space and comments. The character that ends it is read
// too (the single separator before P4 data) and given back in `end`.
bool HeaderNumber(FILE* file, uint64_t& value, int& end) {
    int c = std::getc(file);
    while (c != EOF && (std::isspace(c) || c == '#')) {
        if (c == '#') {
            while (c != EOF && c != '\n') {
                c = std::getc(file);
            }
        } else {
            c = std::getc(file);
        }
    }
    if (c == EOF || !std::isdigit(c)) {
        return false;
    }
    value = 0;
    while (c != EOF && std::isdigit(c)) {
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > 0xFFFFFFFFull) {
            return false;
        }
        c = std::getc(file);
    }
    end = c;
    return true;
}

struct PbmHeader {
    int kind;  // '4' (raw) or '1' (plain)
    uint32_t width;
    uint32_t height;
    uint64_t rowBytes;
};

bool ParsePbmHeader(FILE* file, PbmHeader& header, std::string& error) {
    const int p = std::getc(file);
    header.kind = std::getc(file);
    if (p != 'P' || (header.kind != '4' && header.kind != '1')) {
        error = "not a PBM file (P4 or P1)";
        return false;
    }
    uint64_t w = 0;
    uint64_t h = 0;
    int end = EOF;
    // The character after the width may open a comment: it goes back for the height's search.
    if (!HeaderNumber(file, w, end) || (end != EOF && std::ungetc(end, file) == EOF) ||
        !HeaderNumber(file, h, end) || w == 0 || h == 0) {
        error = "bad PBM header";
        return false;
    }
    header.rowBytes = (w + 7) / 8;
    if (header.rowBytes * h > (uint64_t{1} << 32)) {
        error = "image too large";
        return false;
    }
    header.width = static_cast<uint32_t>(w);
    header.height = static_cast<uint32_t>(h);
    return true;
}

// The next `lines` rows of (width + 7) / 8 bytes, most significant bit first, 1 = black.
bool ReadPbmRows(FILE* file, const PbmHeader& header, uint64_t lines, uint8_t* rows, std::string& error) {
    const uint64_t w = header.width;
    if (header.kind == '4') {
        if (std::fread(rows, 1, header.rowBytes * lines, file) != header.rowBytes * lines) {
            error = "PBM data ends early";
            return false;
        }
        return true;
    }
    std::memset(rows, 0, header.rowBytes * lines);
    for (uint64_t i = 0; i < w * lines; ++i) {
        int c = std::getc(file);
        while (c != EOF && c != '0' && c != '1') {
            c = std::getc(file);
        }
        if (c == EOF) {
            error = "PBM data ends early";
            return false;
        }
        if (c == '1') {
            rows[(i / w) * header.rowBytes + (i % w) / 8] |= static_cast<uint8_t>(0x80 >> ((i % w) % 8));
        }
    }
    return true;
}

// True when the rest of a raw PBM is a regular file holding all its rows: those are then read a
// band at a time while coding, and a tall page is never held whole.
bool RowsCanStream(FILE* file, const PbmHeader& header) {
    struct stat info;
    const long at = std::ftell(file);
    return header.kind == '4' && at >= 0 && fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) &&
           static_cast<uint64_t>(info.st_size) >= static_cast<uint64_t>(at) &&
           static_cast<uint64_t>(info.st_size) - static_cast<uint64_t>(at) >= header.rowBytes * header.height;
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

    FILE* in = std::fopen(inPath, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "jbigenc: cannot read %s: %s\n", inPath, std::strerror(errno));
        return 1;
    }
    PbmHeader header{};
    std::string error;
    bool parsed = ParsePbmHeader(in, header, error);
    const bool stream = parsed && RowsCanStream(in, header);
    // Rows held at once: a band's worth when streaming (the coded stream does not depend on the
    // bands), else the whole page, read and checked before the output is created.
    const uint32_t height = parsed ? header.height : 0;
    if (bandLines == 0) {
        bandLines = stream ? std::min<uint32_t>(height, 256) : height;
    }
    std::vector<uint8_t> rows;
    if (parsed) {
        rows.resize(header.rowBytes * (stream ? std::min(bandLines, height) : height));
        parsed = stream || ReadPbmRows(in, header, height, rows.data(), error);
    }
    if (std::ferror(in) != 0) {
        std::fprintf(stderr, "jbigenc: cannot read %s: %s\n", inPath, std::strerror(errno));
        std::fclose(in);
        return 1;
    }
    if (!parsed) {
        std::fprintf(stderr, "jbigenc: %s: %s\n", inPath, error.c_str());
        std::fclose(in);
        return 1;
    }
    const uint32_t width = header.width;

    Output out{std::fopen(outPath, "wb"), std::vector<uint8_t>(32768), false};
    if (out.file == nullptr) {
        std::fprintf(stderr, "jbigenc: cannot create %s: %s\n", outPath, std::strerror(errno));
        std::fclose(in);
        return 1;
    }
    ImxJBIGEncoder* encoder =
        ImxJBIGEncoderInit(width, typicalPrediction ? 0 : IMX_JBIG_NO_TYPICAL_PREDICTION, WriteChunk, &out);
    if (encoder == nullptr) {
        std::fprintf(stderr, "jbigenc: cannot allocate an encoder for width %u\n", width);
        std::fclose(out.file);
        std::fclose(in);
        return 1;
    }
    const uint32_t size[2] = {width, height};
    // 64-bit first: a width near 2^32 must not wrap the stride to 0.
    const uint64_t stride = (uint64_t{width} + 7) / 8;
    ImxStatus status = ImxJBIGImageBegin(encoder, size, linesPerStripe != 0 ? linesPerStripe : height);
    bool readFailed = false;
    for (uint32_t y = 0; status == IMX_OK && y < height; y += bandLines) {
        const uint32_t lines = height - y < bandLines ? height - y : bandLines;
        const uint8_t* band = rows.data() + size_t{y} * stride;
        if (stream) {
            // The file was long enough when checked; it can still shrink under us.
            if (!ReadPbmRows(in, header, lines, rows.data(), error)) {
                readFailed = true;
                break;
            }
            band = rows.data();
        }
        status = ImxJBIGImageBandAdd(encoder, band, lines, stride);
    }
    if (status == IMX_OK && !readFailed) {
        status = ImxJBIGImageEnd(encoder);
    }
    ImxJBIGEncoderDeinit(encoder);
    std::fclose(in);
    if (readFailed) {
        std::fclose(out.file);
        std::remove(outPath);
        std::fprintf(stderr, "jbigenc: %s: %s\n", inPath, error.c_str());
        return 1;
    }
    const bool closed = std::fclose(out.file) == 0;
    if (status != IMX_OK || out.failed || !closed) {
        std::fprintf(stderr, "jbigenc: writing %s failed (status %d)\n", outPath, status);
        return 1;
    }
    return 0;
}
