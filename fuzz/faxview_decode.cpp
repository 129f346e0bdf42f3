// faxview's decoding of a page's JBIG image entities, which come from outside: any bytes must
// give images of the size their headers say, within the limits given, or an error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "tools/faxview/fax_page_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<FaxBitmap> images;
    std::string error;
    // Small limits keep a run's memory low; the limits themselves are what is checked.
    const bool decoded = FaxBieDecode(std::span<const uint8_t>(data, size), &images, &error, 2048, 2048);
    if (!decoded && error.empty()) std::abort();
    for (const FaxBitmap& image : images) {
        if (image.width == 0 || image.height == 0 || image.width > 2048 || image.height > 2048) std::abort();
        if (image.rows.size() != static_cast<size_t>((image.width + 7) / 8) * image.height) std::abort();
    }
    return 0;
}
