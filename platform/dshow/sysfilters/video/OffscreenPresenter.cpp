#include "video/OffscreenPresenter.h"

#include <new>

namespace {

class CHeapSurface final : public CSurfaceBuffer {
public:
    explicit CHeapSurface(size_t bytes) : m_pixels(new (std::nothrow) uint8_t[bytes]) {}
    bool IsValid() const { return m_pixels != nullptr; }
    uint8_t* Pixels() { return m_pixels.get(); }

private:
    std::unique_ptr<uint8_t[]> m_pixels;
};

} // namespace

std::unique_ptr<CSurfaceBuffer> COffscreenPresenter::NewSurface(int width, int height)
{
    size_t stride = size_t(width) * 4;
    auto surface = std::make_unique<CHeapSurface>(stride * size_t(height) + kSurfacePadding);
    if (!surface->IsValid())
        return nullptr;
    surface->view.data = surface->Pixels();
    surface->view.width = width;
    surface->view.height = height;
    surface->view.stride = int(stride);
    surface->view.kind = SurfaceKind::BGRX32;
    return surface;
}
