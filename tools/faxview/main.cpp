// faxview: shows what a fax job file holds. Prints its PJL lines, decodes each page's JBIG images
// with jbigkit and writes them as PNG (or PBM) files.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/common/tool_input.h"
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

// Decodes the job's pages and writes their images as prefix-001.png, ...; false when an image could
// not be decoded or written.
bool PagesWrite(const FaxJob& job, const std::string& prefix, bool pbm)
{
    int status = 0;
    std::string error;
    for (size_t p = 0; p < job.pages.size(); ++p) {
        const FaxJobPage& page = job.pages[p];
        std::vector<FaxBitmap> images;
        for (const FaxJobImage& coded : page.images) {
            std::vector<FaxBitmap> decoded;
            if (!FaxBieDecode(coded.bie, &decoded, &error)) {
                std::fprintf(stderr, "faxview: page %zu: %s\n", p + 1, error.c_str());
                status = 1;
                break;
            }
            images.insert(images.end(), decoded.begin(), decoded.end());
        }
        for (size_t s = 0; s < images.size(); ++s) {
            const FaxBitmap& image = images[s];
            if ((page.width >= 0 && page.width != image.width) || (page.length >= 0 && page.length != image.height))
                std::fprintf(stderr, "faxview: page %zu image %zu is %u x %u pixels, the page says %lld x %lld\n", p + 1,
                             s + 1, image.width, image.height, static_cast<long long>(page.width),
                             static_cast<long long>(page.length));
            // A two-sided sheet's second image is its back; more images than two get their number.
            char name[48];
            if (s == 0)
                std::snprintf(name, sizeof name, "-%03zu.%s", p + 1, pbm ? "pbm" : "png");
            else if (s == 1)
                std::snprintf(name, sizeof name, "-%03zu-back.%s", p + 1, pbm ? "pbm" : "png");
            else
                std::snprintf(name, sizeof name, "-%03zu-%zu.%s", p + 1, s + 1, pbm ? "pbm" : "png");
            const std::string path = prefix + name;
            if (!(pbm ? FaxWritePbm(image, path, &error) : FaxWritePng(image, path, &error))) {
                std::fprintf(stderr, "faxview: %s\n", error.c_str());
                status = 1;
                continue;
            }
            std::printf("faxview: page %zu image %zu: %u x %u pixels at %lld dpi -> %s\n", p + 1, s + 1, image.width, image.height, static_cast<long long>(page.resolution), path.c_str());
        }
    }
    return status == 0;
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
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ToolInputRead(input, 1ull << 32, &bytes, &error)) {
        std::fprintf(stderr, "faxview: %s\n", error.c_str());
        return 1;
    }
    if (bytes.empty()) {
        std::fprintf(stderr, "faxview: %s is empty: it holds no fax job\n", input.c_str());
        return 1;
    }

    // A file may hold several jobs, one after the other; each is told and written on its own.
    int status = 0;
    size_t jobNumber = 0;
    for (size_t offset = 0; offset < bytes.size();) {
        FaxJob job;
        const bool parsed = FaxJobParse(std::span<const uint8_t>(bytes).subspan(offset), &job, &error);
        ++jobNumber;
        const std::string name = jobNumber == 1 && offset + job.size >= bytes.size() && parsed
                                     ? std::string("faxview: ")
                                     : "faxview: job " + std::to_string(jobNumber) + ": ";
        for (const std::string& line : job.lines) std::printf("%s\n", FaxLinePrintable(line).c_str());
        if (!parsed) {
            std::fprintf(stderr, "%s%s is not a well-formed fax job: %s (from byte %zu of the file)\n", name.c_str(),
                         input.c_str(), error.c_str(), offset);
            status = 1;
            break;
        }
        offset += job.size;
        const bool pageOpen = !job.pages.empty() && !job.pages.back().ended && !job.cancelled;
        std::printf("%s%zu page(s) to %zu number(s)%s\n", name.c_str(), job.pages.size(), job.numbers.size(),
                    job.cancelled ? "; the job was cancelled"
                    : pageOpen    ? "; the job is cut inside its last page"
                    : job.ended   ? ""
                                  : "; the job has no end (EOJ)");
        if ((!job.ended || pageOpen) && !job.cancelled) {
            std::fprintf(stderr, "%sthe job in %s is incomplete: %s\n", name.c_str(), input.c_str(),
                         pageOpen ? "its last page has no end" : "it has no end (EOJ)");
            status = 1;
        }
        if (linesOnly) continue;
        const std::string jobPrefix = jobNumber == 1 ? prefix : prefix + "-job" + std::to_string(jobNumber);
        if (!PagesWrite(job, jobPrefix, pbm)) status = 1;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "faxview: writing the standard output failed: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}
