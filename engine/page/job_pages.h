// The pages of one rendering pass, as the render call hands them to the sheet sequencing.
#pragma once

#include <cstdint>

#include "engine/page/render_context.h"

struct PageSource;

// Normal and n-up order. 1 on success, 0 on failure.
int JobPagesRender(const RenderContext* render, PageSource* pages);
// Booklet order. 1 on success, 0 on failure (a booklet without pages fails).
int BookletRender(const RenderContext* render, PageSource* pages);
// 1 when the whole job lies on its first sheet, so that the device may make the copies.
int SinglePageSheetCheck(RenderOptions* options, JobHeader* header, PageSource* pages);
