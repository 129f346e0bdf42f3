#include "engine/common/image_format_kind.h"

namespace {

uint32_t Depth(const ImxImageFormat& format, uint32_t plane)
{
    return format.planes[plane].depth & 0xFF;  // the depth is read as its low byte
}

}  // namespace

ImageFormatKind ImageFormatKindGet(const ImxImageFormat* format)
{
    if (format == nullptr) {
        return IMAGE_FORMAT_KIND_OTHER;
    }
    switch (format->planeCount) {
        case 1:
            switch (Depth(*format, 0)) {
                case 1: return IMAGE_FORMAT_KIND_1BIT;
                case 2: return IMAGE_FORMAT_KIND_2BIT;
                case 4: return IMAGE_FORMAT_KIND_4BIT;
                case 8: return IMAGE_FORMAT_KIND_8BIT;
                case 24: return IMAGE_FORMAT_KIND_24BIT;
                case 32: return IMAGE_FORMAT_KIND_32BIT;
                default: return IMAGE_FORMAT_KIND_OTHER;
            }
        case 3:
            return Depth(*format, 0) == 1 && Depth(*format, 1) == 1 && Depth(*format, 2) == 1 ? IMAGE_FORMAT_KIND_3X1BIT
                                                                                              : IMAGE_FORMAT_KIND_OTHER;
        case 4: {
            const uint32_t first = Depth(*format, 0);
            if (Depth(*format, 1) != first || Depth(*format, 2) != first) {
                return IMAGE_FORMAT_KIND_OTHER;
            }
            const uint32_t fourth = Depth(*format, 3);
            switch (first) {
                case 1: return fourth == 1 ? IMAGE_FORMAT_KIND_4X1BIT : IMAGE_FORMAT_KIND_OTHER;
                case 2:
                    return fourth == 1   ? IMAGE_FORMAT_KIND_2221BIT
                           : fourth == 2 ? IMAGE_FORMAT_KIND_4X2BIT
                                         : IMAGE_FORMAT_KIND_OTHER;
                case 4: return fourth == 4 ? IMAGE_FORMAT_KIND_4X4BIT : IMAGE_FORMAT_KIND_OTHER;
                case 8: return fourth == 8 ? IMAGE_FORMAT_KIND_4X8BIT : IMAGE_FORMAT_KIND_OTHER;
                default: return IMAGE_FORMAT_KIND_OTHER;
            }
        }
        default: return IMAGE_FORMAT_KIND_OTHER;
    }
}
