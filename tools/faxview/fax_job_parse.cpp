#include "tools/faxview/fax_job_parse.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

void FaxSourceOpen(FaxSource* in, int fd)
{
    *in = FaxSource{};
    in->fd = fd;
}

void FaxSourceOpenBlock(FaxSource* in, std::span<const uint8_t> block)
{
    *in = FaxSource{};
    in->block = block;
}

bool FaxSourceSeek(FaxSource* in, uint64_t offset)
{
    if (in->fd >= 0) {
        if (lseek(in->fd, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
        in->buffer.clear();
        in->start = 0;
        in->ended = false;
    } else if (offset > in->block.size()) {
        return false;
    }
    in->offset = offset;
    return true;
}

namespace {

// Makes n bytes from the position readable, or all that is left of the file when fewer; returns
// how many are.
size_t SourceFill(FaxSource* in, size_t n)
{
    if (in->fd < 0) return static_cast<size_t>(std::min<uint64_t>(n, in->block.size() - in->offset));
    if (in->buffer.size() - in->start < n && !in->ended) {
        in->buffer.erase(in->buffer.begin(), in->buffer.begin() + static_cast<std::ptrdiff_t>(in->start));
        in->start = 0;
        const size_t want = std::max<size_t>(n, 65536);
        while (in->buffer.size() < n && !in->ended) {
            const size_t have = in->buffer.size();
            in->buffer.resize(want);
            const ssize_t got = read(in->fd, in->buffer.data() + have, want - have);
            in->buffer.resize(have + static_cast<size_t>(std::max<ssize_t>(got, 0)));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) in->readError = errno;
            if (got <= 0) in->ended = true;
        }
    }
    return std::min(n, in->buffer.size() - in->start);
}

const uint8_t* SourceData(const FaxSource* in)
{
    return in->fd < 0 ? in->block.data() + in->offset : in->buffer.data() + in->start;
}

// Takes n bytes that SourceFill made readable.
void SourceTake(FaxSource* in, size_t n)
{
    if (in->fd >= 0) in->start += n;
    in->offset += n;
}

}  // namespace

bool FaxJobRead(FaxSource* in, const FaxJobSink& sink, FaxJob* job, std::string* error)
{
    *job = FaxJob{};
    const uint64_t jobStart = in->offset;
    FaxJobPage current;  // the page being read
    FaxJobPage* page = nullptr;  // between START and END
    FaxJobImage* image = nullptr;  // an image whose last chunk was full
    const auto fail = [&](uint64_t at, const std::string& what) {
        if (page != nullptr && sink.page == nullptr) job->pages.push_back(std::move(current));
        *error = what + " at byte " + std::to_string(at - jobStart);
        return false;
    };
    // A page is handed on, or kept, once nothing more can be added to it.
    const auto pageDone = [&] {
        if (sink.page != nullptr) sink.page(sink.context, current, job->pageCount);
        else job->pages.push_back(std::move(current));
        current = FaxJobPage{};
    };
    for (;;) {
        const uint64_t start = in->offset;
        // A line, its LF, and one byte more to tell a line that is too long from one that is cut.
        const size_t have = SourceFill(in, kFaxLineMax + 2);
        if (have == 0) break;
        const uint8_t* bytes = SourceData(in);
        size_t end = 0;
        while (end < have && end <= kFaxLineMax && bytes[end] != '\n') ++end;
        if (end >= have) return fail(start, "a line without its end");
        if (end > kFaxLineMax) return fail(start, "a line longer than " + std::to_string(kFaxLineMax) + " bytes");
        if (end == 0 || bytes[end - 1] != '\r') return fail(start, "a line that does not end in CR LF");
        const std::string line(bytes, bytes + end - 1);
        if (line == kUel + "@PJL" && job->lineCount != 0) break;  // the next job starts here
        SourceTake(in, end + 1);
        ++job->lineCount;
        if (sink.line != nullptr) sink.line(sink.context, line);
        else job->lines.push_back(line);

        if (line.rfind(kImageLen, 0) == 0) {
            int64_t n = 0;
            if (!ParseNumber(line.substr(kImageLen.size()), &n) || n < 1 || n > kFaxChunkMax)
                return fail(start, "an IMAGELEN that is not 1 to 32768");
            if (page == nullptr) return fail(start, "image data outside a page");
            const size_t size = static_cast<size_t>(n);
            if (SourceFill(in, size) < size)
                return fail(start, "an image chunk of " + std::to_string(n) + " bytes that runs past the end");
            if (image == nullptr) {
                page->images.emplace_back();
                image = &page->images.back();
            }
            if (sink.images) image->bie.insert(image->bie.end(), SourceData(in), SourceData(in) + size);
            image->chunks.push_back(static_cast<uint32_t>(n));
            SourceTake(in, size);
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
            ++job->pageCount;
            job->pageOpen = true;
            page = &current;
        } else if (name == "PAGESTATUS" && value == "END") {
            if (page == nullptr) return fail(start, "a page ends that did not start");
            page->ended = true;
            job->pageOpen = false;
            page = nullptr;
            pageDone();
        } else if (name == "PAPERWIDTH" || name == "PAPERLENGTH" || name == "RESOLUTION") {
            if (page == nullptr) return fail(start, name + " outside a page");
            if (!numeric) return fail(start, name + " is not a number");
            (name == "PAPERWIDTH" ? page->width : name == "PAPERLENGTH" ? page->length : page->resolution) = number;
        } else if (name == "FAXTEL") {
            ++job->numberCount;
            if (sink.page == nullptr) job->numbers.push_back(value);
        } else if (name == "JOBSTATUS" && value == "CANCEL") {
            job->cancelled = true;
            job->pageOpen = false;
            if (page != nullptr) pageDone();  // a cancelled job stops wherever it was
            page = nullptr;
        }
        // Other settings (DRIVERTYPE, COMPRESS, FAXCOUNT, ...) are kept as lines only.
    }
    if (page != nullptr) pageDone();  // the job ends inside it
    job->size = static_cast<size_t>(in->offset - jobStart);
    return true;
}

bool FaxJobParse(std::span<const uint8_t> bytes, FaxJob* job, std::string* error)
{
    FaxSource in;
    FaxSourceOpenBlock(&in, bytes);
    return FaxJobRead(&in, FaxJobSink{nullptr, nullptr, nullptr, true}, job, error);
}
