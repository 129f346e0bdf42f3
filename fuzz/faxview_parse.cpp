// faxview's reader of fax job files, which come from outside: any bytes must give either a job
// whose images are the chunks it read, or an error that says where.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "tools/faxview/fax_job_parse.cpp"

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
    return 0;
}
