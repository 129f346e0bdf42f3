// faxview's reader of fax job files, which come from outside: any bytes must give either a job
// whose images are the chunks it read, or an error that says where; read page by page, the same
// lines, pages and end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "tools/faxview/fax_job_parse.h"

namespace {

struct Handed {
    std::vector<std::string> lines;
    std::vector<FaxJobPage> pages;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FaxJob job;
    std::string error;
    const bool parsed = FaxJobParse(std::span<const uint8_t>(data, size), &job, &error);
    if (!parsed && error.find("at byte ") == std::string::npos) std::abort();
    size_t imageBytes = 0;
    for (const FaxJobPage& page : job.pages) {
        for (const FaxJobImage& image : page.images) {
            size_t sum = 0;
            for (size_t i = 0; i < image.chunks.size(); ++i) {
                if (image.chunks[i] == 0 || image.chunks[i] > kFaxChunkMax) std::abort();
                if (i + 1 < image.chunks.size() && image.chunks[i] != kFaxChunkMax) std::abort();
                sum += image.chunks[i];
            }
            if (sum != image.bie.size()) std::abort();
            imageBytes += sum;
        }
    }
    if (imageBytes > size) std::abort();
    for (const std::string& line : job.lines) (void)FaxLinePrintable(line);

    Handed handed;
    FaxSource in;
    FaxSourceOpenBlock(&in, std::span<const uint8_t>(data, size));
    const FaxJobSink sink{&handed,
                          [](void* c, const std::string& line) { static_cast<Handed*>(c)->lines.push_back(line); },
                          [](void* c, const FaxJobPage& page, size_t number) {
                              auto* h = static_cast<Handed*>(c);
                              if (number != h->pages.size() + 1) std::abort();
                              h->pages.push_back(page);
                          },
                          true};
    FaxJob counted;
    std::string again;
    if (FaxJobRead(&in, sink, &counted, &again) != parsed || again != (parsed ? std::string() : error)) std::abort();
    if (handed.lines != job.lines || counted.lineCount != job.lines.size()) std::abort();
    if (parsed) {
        if (counted.size != job.size || counted.pageCount != job.pages.size() ||
            handed.pages.size() != job.pages.size())
            std::abort();
        for (size_t p = 0; p < job.pages.size(); ++p) {
            if (handed.pages[p].images.size() != job.pages[p].images.size()) std::abort();
            for (size_t i = 0; i < job.pages[p].images.size(); ++i)
                if (handed.pages[p].images[i].bie != job.pages[p].images[i].bie) std::abort();
        }
    }
    return 0;
}
