// Classification of a pixel format by its planes, on which the halftone and plane code dispatch.
#pragma once

#include <cstdint>

#include "rastrel/imx_types.h"

enum ImageFormatKind : uint32_t {
    IMAGE_FORMAT_KIND_OTHER = 0,
    IMAGE_FORMAT_KIND_1BIT = 1,  // one plane of 1 bit
    IMAGE_FORMAT_KIND_2BIT = 2,  // one plane of 2 bits
    IMAGE_FORMAT_KIND_4BIT = 3,  // one plane of 4 bits
    IMAGE_FORMAT_KIND_8BIT = 4,  // one plane of 8 bits
    IMAGE_FORMAT_KIND_24BIT = 5,  // one plane of 24 bits
    IMAGE_FORMAT_KIND_32BIT = 6,  // one plane of 32 bits
    IMAGE_FORMAT_KIND_3X1BIT = 7,  // three planes of 1 bit
    IMAGE_FORMAT_KIND_4X1BIT = 8,  // four planes of 1 bit
    IMAGE_FORMAT_KIND_2221BIT = 9,  // four planes of 2, 2, 2 and 1 bits
    IMAGE_FORMAT_KIND_4X2BIT = 10,  // four planes of 2 bits
    IMAGE_FORMAT_KIND_4X4BIT = 11,  // four planes of 4 bits
    IMAGE_FORMAT_KIND_4X8BIT = 12,  // four planes of 8 bits
};

ImageFormatKind ImageFormatKindGet(const ImxImageFormat* format);
