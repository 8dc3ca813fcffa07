// A presenter whose window is a block of memory: the picture is converted and
// kept there, and nothing is shown. Used without a display, with a virtual
// owner window, and as the fallback when the X11 presenter cannot start.
#pragma once

#include "video/VideoPresenter.h"

class COffscreenPresenter final : public CVideoPresenter {
public:
    COffscreenPresenter() = default;
    const char* Kind() const override { return "offscreen"; }

protected:
    std::unique_ptr<CSurfaceBuffer> NewSurface(int width, int height) override;
};
