// A fax job page as one image: each of its JBIG images decoded by jbigkit, stacked in order.
#pragma once

#include "tests/support/jbig_oracle.h"
#include "tools/faxview/fax_job_parse.h"

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
