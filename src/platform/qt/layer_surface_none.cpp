// Built without Wayland's client library: the pop-up is never a layer
// surface, and stays an ordinary Qt window everywhere.
#include "platform/qt/layer_surface.h"

namespace velmora::qt {

struct LayerSurface::Native {};

std::unique_ptr<LayerSurface> LayerSurface::Create(QWidget*, int, int) {
    return nullptr;
}
LayerSurface::~LayerSurface() = default;
void LayerSurface::Show(QSize) {}
void LayerSurface::Redraw() {}
void LayerSurface::Hide() {}

}  // namespace velmora::qt
