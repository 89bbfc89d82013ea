#include "platform/qt/layer_surface.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <qpa/qplatformnativeinterface.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace velmora::qt {
namespace {

// What the compositor offers, bound once on Qt's own connection. Their
// events go to the default queue, which Qt dispatches on this thread.
struct Globals {
    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    wl_seat* seat = nullptr;
    wl_pointer* pointer = nullptr;
    LayerSurface* shown = nullptr;  // the surface the pointer's events go to
};

Globals& TheGlobals() {
    static Globals globals;
    return globals;
}

// Version 3 of the compositor's surfaces takes a buffer scale.
constexpr std::uint32_t kScaledSurfaces = 3;

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    auto bind = [&](const wl_interface* wanted, std::uint32_t upTo = 1) {
        return std::strcmp(interface, wanted->name) == 0
                   ? wl_registry_bind(registry, name, wanted, std::min(version, upTo))
                   : nullptr;
    };
    if (void* bound = bind(&wl_compositor_interface, kScaledSurfaces))
        globals->compositor = static_cast<wl_compositor*>(bound);
    else if (void* shm = bind(&wl_shm_interface))
        globals->shm = static_cast<wl_shm*>(shm);
    else if (void* shell = bind(&zwlr_layer_shell_v1_interface))
        globals->layerShell = static_cast<zwlr_layer_shell_v1*>(shell);
    else if (!globals->seat)
        if (void* seat = bind(&wl_seat_interface)) globals->seat = static_cast<wl_seat*>(seat);
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener{OnGlobal, OnGlobalRemove};

LayerSurface* PointerTarget(wl_surface* surface) {
    LayerSurface* shown = TheGlobals().shown;
    return shown && (!surface || shown->Owns(surface)) ? shown : nullptr;
}

const wl_pointer_listener kPointerListener{
    .enter =
        [](void*, wl_pointer*, std::uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
            if (LayerSurface* target = PointerTarget(surface))
                target->PointerAt(true, QPointF(wl_fixed_to_double(x), wl_fixed_to_double(y)));
        },
    .leave =
        [](void*, wl_pointer*, std::uint32_t, wl_surface* surface) {
            if (LayerSurface* target = PointerTarget(surface)) target->PointerAt(false, {});
        },
    .motion =
        [](void*, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
            if (LayerSurface* target = PointerTarget(nullptr))
                target->PointerMoved(QPointF(wl_fixed_to_double(x), wl_fixed_to_double(y)));
        },
    .button =
        [](void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button, std::uint32_t state) {
            if (LayerSurface* target = PointerTarget(nullptr))
                target->Button(button, state == WL_POINTER_BUTTON_STATE_PRESSED);
        },
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = nullptr,
    .axis_source = nullptr,
    .axis_stop = nullptr,
    .axis_discrete = nullptr,
    .axis_value120 = nullptr,
};

const wl_seat_listener kSeatListener{
    .capabilities =
        [](void*, wl_seat* seat, std::uint32_t capabilities) {
            Globals& globals = TheGlobals();
            if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !globals.pointer) {
                globals.pointer = wl_seat_get_pointer(seat);
                wl_pointer_add_listener(globals.pointer, &kPointerListener, nullptr);
            }
        },
    .name = nullptr,
};

// Binds on a queue of its own, so the round trip dispatches nothing of
// Qt's, then hands the objects to the default queue.
Globals* BoundGlobals() {
    Globals& globals = TheGlobals();
    static const bool bound = [&] {
        if (QGuiApplication::platformName() != QLatin1String("wayland")) return false;
        globals.display = static_cast<wl_display*>(
            QGuiApplication::platformNativeInterface()->nativeResourceForIntegration("wl_display"));
        if (!globals.display) return false;
        wl_event_queue* queue = wl_display_create_queue(globals.display);
        auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(globals.display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
        wl_registry* registry = wl_display_get_registry(wrapper);
        wl_registry_add_listener(registry, &kRegistryListener, &globals);
        wl_display_roundtrip_queue(globals.display, queue);
        wl_registry_destroy(registry);
        wl_proxy_wrapper_destroy(wrapper);
        for (void* proxy : {static_cast<void*>(globals.compositor), static_cast<void*>(globals.shm),
                            static_cast<void*>(globals.layerShell), static_cast<void*>(globals.seat)})
            if (proxy) wl_proxy_set_queue(static_cast<wl_proxy*>(proxy), nullptr);
        wl_event_queue_destroy(queue);
        if (globals.seat) wl_seat_add_listener(globals.seat, &kSeatListener, nullptr);
        return globals.compositor && globals.shm && globals.layerShell;
    }();
    return bound ? &globals : nullptr;
}

// One picture handed to the compositor; freed when the compositor lets go.
struct Picture {
    wl_buffer* buffer;
    void* pixels;
    std::size_t bytes;
};

const wl_buffer_listener kBufferListener{
    .release =
        [](void* data, wl_buffer* buffer) {
            auto* picture = static_cast<Picture*>(data);
            wl_buffer_destroy(buffer);
            munmap(picture->pixels, picture->bytes);
            delete picture;
        },
};

Picture* NewPicture(wl_shm* shm, QSize size) {
    const int stride = size.width() * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * size.height();
    const int fd = memfd_create("velmora-popup", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    void* pixels = ftruncate(fd, static_cast<off_t>(bytes)) == 0
                       ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
    if (pixels == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(bytes));
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, size.width(), size.height(), stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    auto* picture = new Picture{buffer, pixels, bytes};
    wl_buffer_add_listener(buffer, &kBufferListener, picture);
    return picture;
}

const zwlr_layer_surface_v1_listener kLayerListener{
    .configure = [](void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t,
                    std::uint32_t) { static_cast<LayerSurface*>(data)->Configured(serial); },
    .closed = [](void* data, zwlr_layer_surface_v1*) { static_cast<LayerSurface*>(data)->Closed(); },
};

Qt::MouseButton QtButton(std::uint32_t button) {
    switch (button) {
        case BTN_LEFT:
            return Qt::LeftButton;
        case BTN_RIGHT:
            return Qt::RightButton;
        case BTN_MIDDLE:
            return Qt::MiddleButton;
        default:
            return Qt::NoButton;
    }
}

}  // namespace

struct LayerSurface::Native {
    Globals* globals;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
};

std::unique_ptr<LayerSurface> LayerSurface::Create(QWidget* content, int rightMargin, int bottomMargin) {
    if (!BoundGlobals()) return nullptr;
    return std::unique_ptr<LayerSurface>(new LayerSurface(content, rightMargin, bottomMargin));
}

LayerSurface::LayerSurface(QWidget* content, int rightMargin, int bottomMargin)
    : native_(std::make_unique<Native>(Native{BoundGlobals()})),
      content_(content),
      rightMargin_(rightMargin),
      bottomMargin_(bottomMargin) {}

LayerSurface::~LayerSurface() {
    Hide();
}

bool LayerSurface::Owns(const void* surface) const {
    return surface && surface == native_->surface;
}

void LayerSurface::Show(QSize size) {
    Globals& globals = *native_->globals;
    const bool resized = size != size_;
    size_ = size;
    if (!native_->layer) {
        // Mapped in two steps: a first commit without a picture asks the
        // compositor for its configure; the picture follows its answer.
        native_->surface = wl_compositor_create_surface(globals.compositor);
        native_->layer = zwlr_layer_shell_v1_get_layer_surface(globals.layerShell, native_->surface, nullptr,
                                                               ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "velmora");
        zwlr_layer_surface_v1_add_listener(native_->layer, &kLayerListener, this);
        zwlr_layer_surface_v1_set_anchor(
            native_->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_margin(native_->layer, 0, rightMargin_, bottomMargin_, 0);
        zwlr_layer_surface_v1_set_keyboard_interactivity(native_->layer, 0);
        zwlr_layer_surface_v1_set_size(native_->layer, size.width(), size.height());
        wl_surface_commit(native_->surface);
        globals.shown = this;
        configured_ = false;
    } else if (resized) {
        zwlr_layer_surface_v1_set_size(native_->layer, size.width(), size.height());
    }
    Draw();
}

void LayerSurface::Redraw() {
    Draw();
}

void LayerSurface::Hide() {
    Globals& globals = *native_->globals;
    if (globals.shown == this) globals.shown = nullptr;
    if (native_->layer) zwlr_layer_surface_v1_destroy(native_->layer);
    if (native_->surface) wl_surface_destroy(native_->surface);
    native_->layer = nullptr;
    native_->surface = nullptr;
    configured_ = false;
    inside_ = false;
    buttons_ = Qt::NoButton;
    wl_display_flush(globals.display);
}

void LayerSurface::Configured(std::uint32_t serial) {
    zwlr_layer_surface_v1_ack_configure(native_->layer, serial);
    configured_ = true;
    Draw();
}

// The compositor took the surface away (its output went): shown again at
// the next change.
void LayerSurface::Closed() {
    Hide();
}

void LayerSurface::Draw() {
    if (!native_->layer || !configured_ || size_.isEmpty()) return;
    // One picture pixel to one output pixel on an output of integer scale.
    int scale = 1;
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(native_->surface)) >= kScaledSurfaces) {
        scale = std::max(1, static_cast<int>(std::ceil(content_->devicePixelRatioF())));
        wl_surface_set_buffer_scale(native_->surface, scale);
    }
    const QSize pixels = size_ * scale;
    // Drawn after the handler that changed the pop-up has returned, so a
    // frame the system has no memory for is skipped; the next change draws.
    Picture* picture = NewPicture(native_->globals->shm, pixels);
    if (!picture) return;
    QImage image(static_cast<uchar*>(picture->pixels), pixels.width(), pixels.height(), pixels.width() * 4,
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    content_->render(&image, QPoint(), QRegion(QRect(QPoint(), size_)));
    wl_surface_attach(native_->surface, picture->buffer, 0, 0);
    wl_surface_damage(native_->surface, 0, 0, size_.width(), size_.height());
    wl_surface_commit(native_->surface);
    wl_display_flush(native_->globals->display);
}

void LayerSurface::PointerAt(bool inside, QPointF at) {
    inside_ = inside;
    if (inside) pointer_ = at;
}

// The pointer's moves over Qt's own windows come here too.
void LayerSurface::PointerMoved(QPointF at) {
    if (inside_) pointer_ = at;
}

// A press and its release reach the surface that took the press, wherever
// the pointer has gone in between (the compositor's implicit grab).
void LayerSurface::Button(std::uint32_t button, bool pressed) {
    const Qt::MouseButton qtButton = QtButton(button);
    if (qtButton == Qt::NoButton || (pressed ? !inside_ : !buttons_.testFlag(qtButton))) return;
    buttons_.setFlag(qtButton, pressed);
    QMouseEvent event(pressed ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, pointer_, pointer_,
                      qtButton, buttons_, QGuiApplication::keyboardModifiers());
    QCoreApplication::sendEvent(content_, &event);  // may hide this surface
}

}  // namespace velmora::qt
