// The band walk of one page side: the iterator that hands out bands in the device's scan
// direction, the per-band set-up of the band image, plane re-layout and clearing, the mapping of
// page rectangles to the turned device page and of the band surfaces' drawing DCs.
#pragma once

#include <cstdint>

#include "engine/raster/band_plan.h"
#include "engine/raster/band_surface.h"

// Zeroes the iterator and stores the page, the area to band and the direction (page orientation).
void BandIterInit(BandIterator* iterator, const uint32_t pageSize[2], const RECT* pageRect, uint32_t direction,
                  uint32_t mirror);
// 1 with the first (next) band in iterator->band, 0 when there is none (the page is done).
int BandIterFirst(BandIterator* iterator, const BandLayout* layout);
int BandIterNext(BandIterator* iterator, const BandLayout* layout);

// Makes the band current: surface origins, the band image's place and size on the device page,
// and the plane buffers.
void BandBegin(BandLayout* layout, const RECT* band);
// Re-lays the planes for another configuration; false (nothing changed) when it needs more than
// the planned plane bytes or more than eight planes.
bool BandPlaneConfigUpdate(BandLayout* layout, const ImxImageFormat* config);
// Clears every plane marked as holding drawing and removes the mark.
void BandPlanesClear(BandLayout* layout);
// Non-zero when some plane holds drawing.
uint32_t BandPlanesActive(const BandLayout* layout);

// Maps a page rectangle to the device page for the orientation and mirror; any other orientation
// leaves out untouched.
void RectOrient(uint32_t orientation, uint32_t mirror, const uint32_t pageSize[2], const RECT* in, RECT* out);

// Sets the mapping on the colour and mask surfaces' drawing DCs (and, with second, on the second
// pair), the viewport origin moved by the band's top-left corner.
void BandSurfacesMapSet(BandLayout* layout, const DcMap* map, uint32_t second);
