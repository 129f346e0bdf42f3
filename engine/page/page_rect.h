// Which part of a page side is banded: trimming to the drawn area by the edges the device names,
// and aligning the area as the device asks.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct OutputModuleContext;

// Moves the page edges that the device's trim capabilities name (device edges mapped to page edges
// by orientation and mirror) to the intersection of content and page.
void PageRectTrim(const OutputModuleContext* context, uint32_t orientation, uint32_t mirror, const RECT* content,
                  RECT* page);
// Under IMO_CAPS_TRIM_ALIGN rounds the device rectangle out to the device's alignment (DeviceQuery
// id 8); otherwise under IMO_CAPS_TRIM_LIMIT widens it to hold the device's area (id 13).
void PageRectAlign(OutputModuleContext* context, const uint32_t pageSize[2], uint32_t orientation, uint32_t mirror,
                   RECT* rect);
