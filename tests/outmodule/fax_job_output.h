// What a render writes, for the Pelvane end-to-end tests: the bytes collected as they come, and a
// fax job's page as one image, each of its JBIG images decoded by jbigkit and stacked in order.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"
#include "tests/support/jbig_oracle.h"
#include "tools/faxview/fax_job_parse.h"

// A render's write callback: appends to the std::vector<uint8_t> its argument points at.
inline BOOL FaxJobCollect(void* argument, const void* bytes, uint32_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(argument);
    const auto* p = static_cast<const uint8_t*>(bytes);
    out->insert(out->end(), p, p + length);
    return TRUE;
}

// False when one of the page's images does not decode; *image then holds the rows before it.
inline bool FaxPageDecode(const FaxJobPage& page, JbigImage* image)
{
    for (const FaxJobImage& part : page.images) {
        JbigImage decoded;
        if (!JbigkitDecode(part.bie, decoded)) return false;
        if (image->width == 0) image->width = decoded.width;
        image->height += decoded.height;
        image->rows.insert(image->rows.end(), decoded.rows.begin(), decoded.rows.end());
    }
    return true;
}
