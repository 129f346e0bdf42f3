// The band DC as a drawing command found it. A command drawn through GDI selects its brush, pen,
// font and clip and sets the mix, the fill mode, the brush origin, the text colours and modes;
// held while it draws, this puts all of them back when it is done, so that no later command's
// pixels depend on what an earlier one drew (and so on how the page was cut into bands).
#pragma once

#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"

class CmdDrawState {
public:
    explicit CmdDrawState(BandSurface* surface)
        : surface_(surface),
          mix_(GetROP2(surface->drawDC)),
          fillMode_(GetPolyFillMode(surface->drawDC)),
          stretchMode_(GetStretchBltMode(surface->drawDC)),
          backgroundMode_(GetBkMode(surface->drawDC)),
          textAlign_(GetTextAlign(surface->drawDC)),
          textColour_(GetTextColor(surface->drawDC)),
          backgroundColour_(GetBkColor(surface->drawDC))
    {
        GetBrushOrgEx(surface->drawDC, &brushOrigin_);
    }
    ~CmdDrawState()
    {
        HDC dc = surface_->drawDC;
        BandSurfaceResetDC(surface_);
        if (mix_ != 0) SetROP2(dc, mix_);
        if (fillMode_ != 0) SetPolyFillMode(dc, fillMode_);
        if (stretchMode_ != 0) SetStretchBltMode(dc, stretchMode_);
        if (backgroundMode_ != 0) SetBkMode(dc, backgroundMode_);
        if (textAlign_ != GDI_ERROR) SetTextAlign(dc, textAlign_);
        if (textColour_ != CLR_INVALID) SetTextColor(dc, textColour_);
        if (backgroundColour_ != CLR_INVALID) SetBkColor(dc, backgroundColour_);
        SetBrushOrgEx(dc, brushOrigin_.x, brushOrigin_.y, nullptr);
    }
    CmdDrawState(const CmdDrawState&) = delete;
    CmdDrawState& operator=(const CmdDrawState&) = delete;

private:
    BandSurface* surface_;
    int mix_;
    int fillMode_;
    int stretchMode_;
    int backgroundMode_;
    UINT textAlign_;
    COLORREF textColour_;
    COLORREF backgroundColour_;
    POINT brushOrigin_{};
};
