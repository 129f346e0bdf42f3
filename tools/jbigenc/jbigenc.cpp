// jbigenc [--l0 N] [--no-tp] [--band LINES] IN.pbm OUT.bie
// Reads a PBM file (P4 or P1) and writes its JBIG bi-level image entity, coded through Rastrel's
// exports the way the fax output module codes a page: by default one stripe (L0 = the height),
// typical prediction on, the rows handed over in bands of 128 lines as they are read.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rastrel/imx.h"
#include "tools/common/tool_input.h"
#include "tools/common/tool_output.h"

namespace {

constexpr uint32_t kDefaultBandLines = 128;

struct Output {
    FILE* file;
    std::vector<uint8_t> buffer;
    bool failed;
    int writeErrno = 0;
};

void WriteChunk(void* argument, uint8_t** buffer, uint32_t* size)
{
    auto* out = static_cast<Output*>(argument);
    if (*buffer != nullptr && *size != 0 && std::fwrite(*buffer, 1, *size, out->file) != *size) {
        out->failed = true;
        if (out->writeErrno == 0) out->writeErrno = errno;
    }
    *buffer = out->buffer.data();
    *size = static_cast<uint32_t>(out->buffer.size());
}

// The PBM file, read a piece at a time: only one band of rows is held, so a tall page costs no
// more memory than a short one.
struct PbmInput {
    int fd = -1;
    bool regular = false;
    uint64_t size = 0;  // of a regular file
    uint64_t consumed = 0;  // bytes taken from the file so far
    uint8_t buffer[65536];
    size_t at = 0;
    size_t held = 0;
    int readErrno = 0;
};

// The next byte, or -1 at the end of the data (or on a read error, kept in readErrno).
int NextByte(PbmInput& in)
{
    if (in.at == in.held) {
        ssize_t got;
        do {
            got = read(in.fd, in.buffer, sizeof in.buffer);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            if (got < 0) in.readErrno = errno;
            return -1;
        }
        in.at = 0;
        in.held = static_cast<size_t>(got);
    }
    ++in.consumed;
    return in.buffer[in.at++];
}

bool HeaderNumber(PbmInput& in, int& c, uint64_t& value)
{
    while (c >= 0 && (std::isspace(c) || c == '#')) {
        if (c == '#') {
            while (c >= 0 && c != '\n') c = NextByte(in);
        } else {
            c = NextByte(in);
        }
    }
    if (c < 0 || !std::isdigit(c)) return false;
    value = 0;
    while (c >= 0 && std::isdigit(c)) {
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > 0xFFFFFFFFull) return false;
        c = NextByte(in);
    }
    return true;
}

struct PbmHeader {
    bool plain;  // P1: one character per pixel
    uint32_t width;
    uint32_t height;
    uint64_t rowBytes;
};

// Reads the header up to and including the one blank before the data.
bool PbmHeaderRead(PbmInput& in, PbmHeader& header, std::string& error)
{
    const int p = NextByte(in);
    const int kind = NextByte(in);
    if (p != 'P' || (kind != '4' && kind != '1')) {
        error = "not a PBM file (P4 or P1)";
        return false;
    }
    int c = NextByte(in);
    uint64_t w = 0;
    uint64_t h = 0;
    if (!HeaderNumber(in, c, w) || !HeaderNumber(in, c, h) || w == 0 || h == 0 || c < 0 || !std::isspace(c)) {
        error = "bad PBM header";
        return false;
    }
    header.plain = kind == '1';
    header.width = static_cast<uint32_t>(w);
    header.height = static_cast<uint32_t>(h);
    header.rowBytes = (w + 7) / 8;
    if (header.rowBytes * h > (uint64_t{1} << 32)) {
        error = "image too large";
        return false;
    }
    // A regular file shows at once whether its data is all there: fail before any output is
    // written. P4 has rowBytes per row, P1 at least one character per pixel.
    const uint64_t least = header.plain ? w * h : header.rowBytes * h;
    if (in.regular && (in.size < in.consumed || in.size - in.consumed < least)) {
        error = "PBM data ends early: the header says " + std::to_string(w) + " x " + std::to_string(h) + " pixels";
        return false;
    }
    return true;
}

// Rows of rowBytes bytes, most significant bit first, 1 = black.
bool PbmRowsRead(PbmInput& in, const PbmHeader& header, uint32_t lines, uint8_t* rows)
{
    const uint64_t bytes = header.rowBytes * lines;
    if (!header.plain) {
        for (uint64_t i = 0; i < bytes;) {
            if (in.at == in.held) {
                const int c = NextByte(in);  // refills the buffer
                if (c < 0) return false;
                rows[i++] = static_cast<uint8_t>(c);
                continue;
            }
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(bytes - i, in.held - in.at));
            std::memcpy(rows + i, in.buffer + in.at, piece);
            in.at += piece;
            in.consumed += piece;
            i += piece;
        }
        return true;
    }
    std::memset(rows, 0, bytes);
    for (uint64_t y = 0; y < lines; ++y)
        for (uint32_t x = 0; x < header.width; ++x) {
            int c;
            do {
                c = NextByte(in);
            } while (c >= 0 && c != '0' && c != '1');
            if (c < 0) return false;
            if (c == '1') rows[y * header.rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    return true;
}

bool ParseCount(const char* text, uint32_t& value)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long parsed = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed == 0 || parsed > 0xFFFFFFFFul) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

int Usage()
{
    std::fprintf(stderr, "usage: jbigenc [--l0 N] [--no-tp] [--band LINES] IN.pbm OUT.bie\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
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

    PbmInput in;
    std::string error;
    in.fd = ToolInputOpen(inPath, &in.regular, &in.size, &error);
    if (in.fd < 0) {
        std::fprintf(stderr, "jbigenc: %s\n", error.c_str());
        return 1;
    }
    PbmHeader header{};
    if (!PbmHeaderRead(in, header, error)) {
        std::fprintf(stderr, "jbigenc: %s: %s\n", inPath, error.c_str());
        close(in.fd);
        return 1;
    }
    const uint32_t width = header.width;
    const uint32_t height = header.height;

    // Coded into a file beside the output: truncating the output first would destroy an input of
    // the same name, and a failed coding must leave no partial file.
    ToolOutput target;
    if (!ToolOutputOpen(outPath, in.fd, &target, &error)) {
        std::fprintf(stderr, "jbigenc: %s\n", error.c_str());
        close(in.fd);
        return 1;
    }
    Output out{target.file, std::vector<uint8_t>(32768), false};
    ImxJBIGEncoder* encoder =
        ImxJBIGEncoderInit(width, typicalPrediction ? 0 : IMX_JBIG_NO_TYPICAL_PREDICTION, WriteChunk, &out);
    if (encoder == nullptr) {
        std::fprintf(stderr, "jbigenc: cannot allocate an encoder for width %u\n", width);
        close(in.fd);
        ToolOutputDiscard(&target);
        return 1;
    }
    const uint32_t size[2] = {width, height};
    // Bands of rows are read and coded one after the other; how the page is cut into bands does
    // not change the coded bytes.
    if (bandLines == 0) bandLines = kDefaultBandLines;
    bandLines = std::min(bandLines, height);
    std::vector<uint8_t> rows(header.rowBytes * bandLines);
    bool endedEarly = false;
    ImxStatus status = ImxJBIGImageBegin(encoder, size, linesPerStripe != 0 ? linesPerStripe : height);
    for (uint32_t y = 0; status == IMX_OK && y < height; y += bandLines) {
        const uint32_t lines = height - y < bandLines ? height - y : bandLines;
        if (!PbmRowsRead(in, header, lines, rows.data())) {
            endedEarly = true;
            break;
        }
        status = ImxJBIGImageBandAdd(encoder, rows.data(), lines, static_cast<uint32_t>(header.rowBytes));
    }
    if (status == IMX_OK && !endedEarly) {
        status = ImxJBIGImageEnd(encoder);
    }
    ImxJBIGEncoderDeinit(encoder);
    close(in.fd);
    if (endedEarly) {
        // Only a pipe gets here: a regular file was measured before coding began.
        ToolOutputDiscard(&target);
        std::fprintf(stderr, "jbigenc: %s: %s\n", inPath,
                     in.readErrno != 0 ? std::strerror(in.readErrno) : "PBM data ends early");
        return 1;
    }
    if (out.failed) {
        ToolOutputDiscard(&target);
        std::fprintf(stderr, "jbigenc: writing %s failed: %s\n", outPath, std::strerror(out.writeErrno));
        return 1;
    }
    if (status != IMX_OK) {
        ToolOutputDiscard(&target);
        std::fprintf(stderr, "jbigenc: coding %s failed (encoder status %d)\n", inPath, status);
        return 1;
    }
    if (!ToolOutputCommit(&target, &error)) {
        std::fprintf(stderr, "jbigenc: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
