#include "frontend/common/cover_settings.h"

#include <algorithm>

void CoverPageUIDefaults(CoverPageSettings* settings)
{
    settings->paperWidth = 2159;
    settings->paperHeight = 2794;
    settings->orientation = 1;
}

void CoverPageOrientationDefault(CoverPageSettings* settings)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(settings);
    if (std::all_of(bytes, bytes + sizeof *settings, [](BYTE b) { return b == 0; })) settings->orientation = 1;
}

void CoverPageSettingsMerge(CoverPageSettings* pout, CoverPageSettings* ui)
{
    CoverPageOrientationDefault(pout);
    pout->sender = ui->sender;
    // A stored paper size with either side 0 is damaged: it would make a page of no width for
    // the preview to divide by. Both cases take the defaults, as an unset record does.
    if (ui->paperWidth == 0 || ui->paperHeight == 0) CoverPageUIDefaults(ui);
    pout->paperWidth = std::min(ui->paperWidth, ui->paperHeight);
    pout->paperHeight = std::max(ui->paperWidth, ui->paperHeight);
    if (pout->pictureScale == 0) {
        pout->pictureScale = 100;
        pout->pictureX = 50;
        pout->pictureY = 50;
    }
}
