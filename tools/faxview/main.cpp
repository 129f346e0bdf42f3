// faxview: shows what a fax job file holds. Prints its PJL lines, decodes each page's JBIG images
// with jbigkit and writes them as PNG (or PBM) files.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/common/tool_input.h"
#include "tools/common/tool_output.h"
#include "tools/faxview/fax_job_parse.h"
#include "tools/faxview/fax_page_image.h"

namespace {

void Usage(FILE* to)
{
    std::fprintf(to,
                 "usage: faxview [options] job.fax\n"
                 "  -o PREFIX   page files are PREFIX-001.png, ... (default: the job file's name without .fax)\n"
                 "  --pbm       write PBM files in place of PNG\n"
                 "  --lines     print the PJL lines only; decode and write nothing\n");
}

// Decodes a page and writes its images as prefix-001.png, ..., each closed and left in `pending`
// to be placed when the run is over; false when an image could not be decoded or written
// (*writeFailed then says which).
bool PageWrite(const FaxJobPage& page, size_t number, const std::string& prefix, bool pbm, int inputFd,
               std::vector<ToolOutput>* pending, bool* writeFailed)
{
    int status = 0;
    std::string error;
    std::vector<FaxBitmap> images;
    for (const FaxJobImage& coded : page.images) {
        std::vector<FaxBitmap> decoded;
        if (!FaxBieDecode(coded.bie, &decoded, &error)) {
            std::fprintf(stderr, "faxview: page %zu: %s\n", number, error.c_str());
            status = 1;
            break;
        }
        images.insert(images.end(), decoded.begin(), decoded.end());
    }
    for (size_t s = 0; s < images.size(); ++s) {
        const FaxBitmap& image = images[s];
        if ((page.width >= 0 && page.width != image.width) || (page.length >= 0 && page.length != image.height))
            std::fprintf(stderr, "faxview: page %zu image %zu is %u x %u pixels, the page says %lld x %lld\n", number,
                         s + 1, image.width, image.height, static_cast<long long>(page.width),
                         static_cast<long long>(page.length));
        // A two-sided sheet's second image is its back; more images than two get their number.
        char name[48];
        if (s == 0) std::snprintf(name, sizeof name, "-%03zu.%s", number, pbm ? "pbm" : "png");
        else if (s == 1) std::snprintf(name, sizeof name, "-%03zu-back.%s", number, pbm ? "pbm" : "png");
        else std::snprintf(name, sizeof name, "-%03zu-%zu.%s", number, s + 1, pbm ? "pbm" : "png");
        const std::string path = prefix + name;
        if (!(pbm ? FaxWritePbm(image, path, &error, inputFd, pending)
                  : FaxWritePng(image, path, &error, inputFd, pending))) {
            std::fprintf(stderr, "faxview: %s\n", error.c_str());
            *writeFailed = true;
            return false;
        }
        std::printf("faxview: page %zu image %zu: %u x %u pixels at %lld dpi -> %s\n", number, s + 1, image.width,
                    image.height, static_cast<long long>(page.resolution), path.c_str());
    }
    return status == 0;
}

struct PageWriting {
    std::string prefix;
    bool pbm;
    bool failed;
    int inputFd;
    std::vector<ToolOutput>* pending;
    bool* writeFailed;  // of the whole run: no page is written after it
};

// Places the run's pages, or, after a page failed to be written, removes every one of them: a
// run leaves all its pages or none. False when a page could not be placed (those placed before
// it are removed again).
bool PagesPlace(std::vector<ToolOutput>* pending, bool writeFailed)
{
    size_t placed = 0;
    std::string error;
    if (!writeFailed) {
        for (; placed < pending->size(); ++placed)
            if (!ToolOutputCommit(&(*pending)[placed], &error)) break;
        if (placed == pending->size()) return true;
        std::fprintf(stderr, "faxview: %s\n", error.c_str());
        for (size_t i = 0; i < placed; ++i)
            if (!(*pending)[i].temporary.empty()) unlink((*pending)[i].path.c_str());
        ++placed;  // the failed one removed its own file
    }
    for (size_t i = placed; i < pending->size(); ++i) ToolOutputDiscard(&(*pending)[i]);
    if (writeFailed && !pending->empty())
        std::fprintf(stderr, "faxview: the %zu page file(s) written before the failure are removed\n", pending->size());
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string input, prefix;
    bool pbm = false, linesOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 0;
        } else if (a == "-o" && i + 1 < argc) {
            prefix = argv[++i];
        } else if (a == "--pbm") {
            pbm = true;
        } else if (a == "--lines") {
            linesOnly = true;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "faxview: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        } else if (input.empty()) {
            input = a;
        } else {
            std::fprintf(stderr, "faxview: more than one fax job file given\n");
            return 2;
        }
    }
    if (input.empty()) {
        Usage(stderr);
        return 2;
    }
    if (prefix.empty()) {
        prefix = input;
        if (prefix.size() > 4 && prefix.compare(prefix.size() - 4, 4, ".fax") == 0) prefix.resize(prefix.size() - 4);
    }
    // The file is read twice, a piece at a time: once for its lines, which tell whether a job is
    // whole, then for the pages of a job that is, one page in memory at a time. A pipe is kept in
    // a temporary file for that.
    std::string error;
    bool regular = false;
    uint64_t size = 0;
    int fd = ToolInputOpen(input, &regular, &size, &error);
    if (fd < 0 || !ToolInputSeekable(input, UINT64_MAX, &fd, &size, &error)) {
        std::fprintf(stderr, "faxview: %s\n", error.c_str());
        return 1;
    }
    if (size == 0) {
        std::fprintf(stderr, "faxview: %s is empty: it holds no fax job\n", input.c_str());
        close(fd);
        return 1;
    }
    FaxSource in;
    FaxSourceOpen(&in, fd);
    const FaxJobSink lines{nullptr,
                           [](void*, const std::string& line) { std::printf("%s\n", FaxLinePrintable(line).c_str()); },
                           [](void*, const FaxJobPage&, size_t) {}, false};

    // A file may hold several jobs, one after the other; each is told and written on its own.
    int status = 0;
    size_t jobNumber = 0;
    std::vector<ToolOutput> pending;
    bool writeFailed = false;
    for (uint64_t offset = 0; offset < size;) {
        FaxJob job;
        const bool parsed = FaxJobRead(&in, lines, &job, &error);
        if (in.readError != 0) {
            std::fprintf(stderr, "faxview: cannot read %s: %s\n", input.c_str(), std::strerror(in.readError));
            status = 1;
            break;
        }
        ++jobNumber;
        const std::string name = jobNumber == 1 && offset + job.size >= size && parsed
                                     ? std::string("faxview: ")
                                     : "faxview: job " + std::to_string(jobNumber) + ": ";
        if (!parsed) {
            std::fprintf(stderr, "%s%s is not a well-formed fax job: %s (from byte %llu of the file)\n", name.c_str(),
                         input.c_str(), error.c_str(), static_cast<unsigned long long>(offset));
            status = 1;
            break;
        }
        const bool pageOpen = job.pageOpen && !job.cancelled;
        std::printf("%s%zu page(s) to %zu number(s)%s\n", name.c_str(), job.pageCount, job.numberCount,
                    job.cancelled ? "; the job was cancelled"
                    : pageOpen    ? "; the job is cut inside its last page"
                    : job.ended   ? ""
                                  : "; the job has no end (EOJ)");
        if ((!job.ended || pageOpen) && !job.cancelled) {
            std::fprintf(stderr, "%sthe job in %s is incomplete: %s\n", name.c_str(), input.c_str(),
                         pageOpen ? "its last page has no end" : "it has no end (EOJ)");
            status = 1;
        }
        const uint64_t next = offset + job.size;
        if (!linesOnly) {
            PageWriting writing{jobNumber == 1 ? prefix : prefix + "-job" + std::to_string(jobNumber),
                                pbm,
                                false,
                                fd,
                                &pending,
                                &writeFailed};
            const FaxJobSink pages{&writing, [](void*, const std::string&) {},
                                   [](void* context, const FaxJobPage& page, size_t number) {
                                       auto* w = static_cast<PageWriting*>(context);
                                       if (*w->writeFailed) return;
                                       if (!PageWrite(page, number, w->prefix, w->pbm, w->inputFd, w->pending,
                                                      w->writeFailed))
                                           w->failed = true;
                                   },
                                   true};
            FaxJob again;
            if (!FaxSourceSeek(&in, offset) || !FaxJobRead(&in, pages, &again, &error) || in.readError != 0 ||
                again.size != job.size) {
                std::fprintf(stderr, "%s%s changed while it was read\n", name.c_str(), input.c_str());
                status = 1;
                break;
            }
            if (writing.failed) status = 1;
            if (writeFailed) break;
        }
        offset = next;
    }
    if (!PagesPlace(&pending, writeFailed)) status = 1;
    close(fd);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "faxview: writing the standard output failed: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}
