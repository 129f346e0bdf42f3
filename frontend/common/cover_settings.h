// The cover-page settings the sheet starts from when little or nothing was stored.
#pragma once

#include "frontend/common/records.h"

// The driver's default paper (Letter, portrait) for "CoverPageUI".
void CoverPageUIDefaults(CoverPageSettings* settings);

// The cover-page settings the sheet starts from: "CoverPagePout" with the sender of
// "CoverPageUI", its paper size (Letter when it has none) with the smaller side as the width, and
// a picture scale of 100 at 50, 50 when none was stored.
void CoverPageSettingsMerge(CoverPageSettings* pout, CoverPageSettings* ui);
// A "CoverPagePout" that was never stored reads as all zeros; it takes the portrait orientation
// of the default paper (orientation 0 would read as landscape). A stored record keeps its own.
void CoverPageOrientationDefault(CoverPageSettings* settings);
