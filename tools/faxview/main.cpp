// faxview: shows what a fax job file holds. Prints its PJL lines, decodes each page's JBIG images
// with jbigkit and writes them as PNG (or PBM) files.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "faxview: cannot open %s: %s\n", input.c_str(), std::strerror(errno));
        return 1;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    FaxJob job;
    std::string error;
    const bool parsed = FaxJobParse(bytes, &job, &error);
    for (const std::string& line : job.lines) std::printf("%s\n", FaxLinePrintable(line).c_str());
    if (!parsed) {
        std::fprintf(stderr, "faxview: %s is not a well-formed fax job: %s\n", input.c_str(), error.c_str());
        return 1;
    }
    std::printf("faxview: %zu page(s) to %zu number(s)%s\n", job.pages.size(), job.numbers.size(),
                job.cancelled ? "; the job was cancelled" : job.ended ? "" : "; the job has no end (EOJ)");
    if (linesOnly) return 0;

    int status = 0;
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
    return status;
}
