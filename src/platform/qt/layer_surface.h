// The pop-up as a layer surface, where Qt runs natively on a Wayland
// compositor that offers wlroots' layer shell (sway and other wlroots
// compositors, KWin). A Wayland client cannot place its own windows, and Qt
// gives every window an ordinary role the compositor centres, tiles and
// focuses; a layer surface instead is anchored to the output's bottom-right
// corner with fixed margins, on the overlay layer above every window, and
// never takes the keyboard. Qt 6.4 has no public way to give one of its
// windows that role, so this is a surface of our own on Qt's connection,
// showing a hidden widget's drawing, with the pointer's presses and releases
// on it sent to that widget.
#pragma once

#include <QPointF>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace velmora::qt {

class LayerSurface {
public:
    // Null unless Qt runs on Wayland and the compositor offers the layer
    // shell. `content` is drawn and receives the pointer's buttons; the
    // margins are the distances in pixels from the output's right and
    // bottom edges.
    static std::unique_ptr<LayerSurface> Create(QWidget* content, int rightMargin, int bottomMargin);
    ~LayerSurface();
    LayerSurface(const LayerSurface&) = delete;
    LayerSurface& operator=(const LayerSurface&) = delete;

    // Maps the surface at `size` (its bottom edge stays where the margin
    // puts it) and draws the content's top-left part of that size.
    void Show(QSize size);
    // Draws the content again, if the surface is up.
    void Redraw();
    // Unmaps the surface; a later Show maps it anew.
    void Hide();

    // Protocol callbacks; not for other use.
    void Configured(std::uint32_t serial);
    void Closed();
    void PointerAt(bool inside, QPointF at);
    void PointerMoved(QPointF at);
    void Button(std::uint32_t button, bool pressed);
    bool Owns(const void* surface) const;

private:
    LayerSurface(QWidget* content, int rightMargin, int bottomMargin);
    void Draw();

    struct Native;
    std::unique_ptr<Native> native_;
    QWidget* content_;
    int rightMargin_, bottomMargin_;
    QSize size_;
    bool configured_ = false;
    bool inside_ = false;
    QPointF pointer_;
    Qt::MouseButtons buttons_;
};

}  // namespace velmora::qt
