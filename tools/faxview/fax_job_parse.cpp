#include "tools/faxview/fax_job_parse.h"

#include <cstdio>

namespace {

const std::string kUel = "\x1b%-12345X";
const std::string kSet = "@PJL SET ";
const std::string kImageLen = "@PJL SET IMAGELEN = ";

// A decimal number of at most 10 digits, nothing else.
bool ParseNumber(const std::string& text, int64_t* value)
{
    if (text.empty() || text.size() > 10) return false;
    int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

}  // namespace

std::string FaxLinePrintable(const std::string& line)
{
    std::string out;
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u == 27) {
            out += "<ESC>";
        } else if (u < 32 || u >= 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<x%02X>", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

bool FaxJobParse(std::span<const uint8_t> bytes, FaxJob* job, std::string* error)
{
    *job = FaxJob{};
    size_t pos = 0;
    FaxJobPage* page = nullptr;     // between START and END
    FaxJobImage* image = nullptr;   // an image whose last chunk was full
    const auto fail = [&](size_t at, const std::string& what) {
        *error = what + " at byte " + std::to_string(at);
        return false;
    };
    while (pos < bytes.size()) {
        const size_t start = pos;
        size_t end = pos;
        while (end < bytes.size() && end - pos <= kFaxLineMax && bytes[end] != '\n') ++end;
        if (end >= bytes.size()) return fail(start, "a line without its end");
        if (end - pos > kFaxLineMax) return fail(start, "a line longer than " + std::to_string(kFaxLineMax) + " bytes");
        if (end == pos || bytes[end - 1] != '\r') return fail(start, "a line that does not end in CR LF");
        const std::string line(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                               bytes.begin() + static_cast<std::ptrdiff_t>(end - 1));
        if (line == kUel + "@PJL" && !job->lines.empty()) break;  // the next job starts here
        pos = end + 1;
        job->lines.push_back(line);

        if (line.rfind(kImageLen, 0) == 0) {
            int64_t n = 0;
            if (!ParseNumber(line.substr(kImageLen.size()), &n) || n < 1 || n > kFaxChunkMax)
                return fail(start, "an IMAGELEN that is not 1 to 32768");
            if (page == nullptr) return fail(start, "image data outside a page");
            if (static_cast<uint64_t>(n) > bytes.size() - pos)
                return fail(start, "an image chunk of " + std::to_string(n) + " bytes that runs past the end");
            if (image == nullptr) {
                page->images.emplace_back();
                image = &page->images.back();
            }
            image->bie.insert(image->bie.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                              bytes.begin() + static_cast<std::ptrdiff_t>(pos + static_cast<size_t>(n)));
            image->chunks.push_back(static_cast<uint32_t>(n));
            pos += static_cast<size_t>(n);
            if (n < kFaxChunkMax) image = nullptr;  // a short chunk is an image's last
            continue;
        }
        image = nullptr;  // a full last chunk: the image ended exactly at a chunk's end

        if (line == kUel && job->ended) break;  // the job's last line
        if (line == kUel + "@PJL" || line == kUel) continue;
        if (line == "@PJL EOJ") {
            if (page != nullptr) return fail(start, "the job ends inside a page");
            job->ended = true;
            continue;
        }
        if (line.rfind(kSet, 0) != 0) return fail(start, "a line that is not PJL");
        const size_t equals = line.find(" = ", kSet.size());
        if (equals == std::string::npos) return fail(start, "a PJL SET line without \" = \"");
        const std::string name = line.substr(kSet.size(), equals - kSet.size());
        const std::string value = line.substr(equals + 3);
        int64_t number = -1;
        const bool numeric = ParseNumber(value, &number);
        if (name == "PAGESTATUS" && value == "START") {
            if (page != nullptr) return fail(start, "a page starts inside a page");
            job->pages.emplace_back();
            page = &job->pages.back();
        } else if (name == "PAGESTATUS" && value == "END") {
            if (page == nullptr) return fail(start, "a page ends that did not start");
            page->ended = true;
            page = nullptr;
        } else if (name == "PAPERWIDTH" || name == "PAPERLENGTH" || name == "RESOLUTION") {
            if (page == nullptr) return fail(start, name + " outside a page");
            if (!numeric) return fail(start, name + " is not a number");
            (name == "PAPERWIDTH" ? page->width : name == "PAPERLENGTH" ? page->length : page->resolution) = number;
        } else if (name == "FAXTEL") {
            job->numbers.push_back(value);
        } else if (name == "JOBSTATUS" && value == "CANCEL") {
            job->cancelled = true;
            page = nullptr;  // a cancelled job stops wherever it was
        }
        // Other settings (DRIVERTYPE, COMPRESS, FAXCOUNT, ...) are kept as lines only.
    }
    job->size = pos;
    return true;
}
