// Bi-level test pages for the JBIG encoder's tests, benchmark and fuzz target.
#pragma once

#include <cstdint>

#include "tests/support/jbig_oracle.h"

JbigImage MakeWhitePage(uint32_t width, uint32_t height);
JbigImage MakeBlackPage(uint32_t width, uint32_t height);
JbigImage MakeNoisePage(uint32_t width, uint32_t height, uint32_t seed);
// A few distinct lines, each repeated for several rows.
JbigImage MakeRepeatedLinesPage(uint32_t width, uint32_t height, uint32_t seed);
// Lines of blocky glyphs over the whole page, with margins: a typed text page.
JbigImage MakeTextPage(uint32_t width, uint32_t height, uint32_t seed);
// A letterhead and a few lines of text at the top; the rest is white.
JbigImage MakeMostlyWhitePage(uint32_t width, uint32_t height, uint32_t seed);
// Blocks solid, checkered and dotted, rules across and down of one to five pixels and slanted
// lines: long runs of one context that is not all white.
JbigImage MakeFormPage(uint32_t width, uint32_t height, uint32_t seed);
