// The band DC as a drawing command found it. A Rect, Path or Line drawn through GDI selects its
// brush, pen and clip and sets the mix, the fill mode and the brush origin; held while it draws,
// this puts all of them back when it is done, so that no later command's pixels depend on what an
// earlier one drew (and so on how the page was cut into bands).
#pragma once

#include "engine/band/band_surface.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"

class CmdDrawState {
public:
    explicit CmdDrawState(BandSurface* surface)
        : surface_(surface), mix_(GetROP2(surface->drawDC)), fillMode_(GetPolyFillMode(surface->drawDC))
    {
        GetBrushOrgEx(surface->drawDC, &brushOrigin_);
    }
    ~CmdDrawState()
    {
        HDC dc = surface_->drawDC;
        BandSurfaceResetDC(surface_);
        if (mix_ != 0) SetROP2(dc, mix_);
        if (fillMode_ != 0) SetPolyFillMode(dc, fillMode_);
        SetBrushOrgEx(dc, brushOrigin_.x, brushOrigin_.y, nullptr);
    }
    CmdDrawState(const CmdDrawState&) = delete;
    CmdDrawState& operator=(const CmdDrawState&) = delete;

private:
    BandSurface* surface_;
    int mix_;
    int fillMode_;
    POINT brushOrigin_{};
};
