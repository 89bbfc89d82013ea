#include "platform/qt/popup_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTextLayout>
#include <cmath>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/common/background_scale.h"
#include "platform/common/units.h"
#include "platform/qt/screen.h"
#include "popup/popup_design.h"
#include "popup/popup_labels.h"

#include "platform/qt/desktop_notice.h"
#include "platform/qt/layer_surface.h"

namespace velmora::qt {
namespace {

// CJK faces Debian ships, so the Chinese texts render in any locale rather
// than in whatever face the locale prefers: a Song-style serif with a real
// bold first for SimSun, sans faces behind the dialog font.
const QStringList kSerifCjk{"Noto Serif CJK SC", "Noto Sans CJK SC", "WenQuanYi Zen Hei"};
const QStringList kSansCjk{"Noto Sans CJK SC", "WenQuanYi Zen Hei"};

QFont DesignFont(const FontDesign& design) {
    if (design.windowDefault) {
        QFont font = QApplication::font();
        font.setFamilies(QStringList{font.family()} + kSansCjk);
        return font;
    }
    QStringList families{QString::fromStdU16String(design.face)};
    if (design.face == u"宋体") families << "SimSun";  // its English name
    QFont font;
    font.setFamilies(families + kSerifCjk);
    font.setPointSizeF(design.points);
    font.setWeight(static_cast<QFont::Weight>(design.weight));
    return font;
}

QRect ToQRect(const PixelRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// Line breaks as a label shows them: CR LF, CR or LF each start a new line.
QString LabelText(QString text) {
    text.replace(QLatin1String("\r\n"), QChar(QChar::LineSeparator));
    text.replace(QChar('\r'), QChar(QChar::LineSeparator));
    text.replace(QChar('\n'), QChar(QChar::LineSeparator));
    return text;
}

// Read as PNG and nothing else: a load that leaves the format to Qt opens
// every image-format plugin, libjpeg among them, and keeps them for good.
QImage ReadPng(const QString& file) {
    QImageReader reader(file, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QString BackgroundFile(double scale) {
    if (scale == 1.0) return QStringLiteral(":/velmora/popup_background.png");
    return QStringLiteral(":/velmora/popup_background@%1x.png").arg(scale);
}

Rgb ThemeText() {
    const QColor system = QApplication::palette().color(QPalette::ButtonText);
    return Rgb{static_cast<std::uint8_t>(system.red()), static_cast<std::uint8_t>(system.green()),
               static_cast<std::uint8_t>(system.blue())};
}

PixelScale WindowScale() {
    return PixelScale{TwipsPerPixelX(), TwipsPerPixelY(), TwipsToPixels, PixelsToTwips};
}

QAccessible::Role RoleFor(AccessibleRole role) {
    switch (role) {
        case AccessibleRole::Link:
            return QAccessible::Link;
        case AccessibleRole::Button:
            return QAccessible::Button;
        case AccessibleRole::StaticText:
            break;
    }
    return QAccessible::StaticText;
}

std::int16_t ButtonNumber(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return kLeftButton;
        case Qt::RightButton:
            return kRightButton;
        case Qt::MiddleButton:
            return kMiddleButton;
        default:
            return 0;
    }
}

std::int16_t ShiftNumber(Qt::KeyboardModifiers modifiers) {
    return ShiftOf(modifiers & Qt::ShiftModifier, modifiers & Qt::ControlModifier,
                   modifiers & Qt::AltModifier);
}

}  // namespace

QPixmap BackgroundFor(QSize size, qreal ratio) {
    QImage image = ReadPng(BackgroundFile(BackgroundScaleFor(ratio)));
    const QSize device(static_cast<int>(std::lround(size.width() * ratio)),
                       static_cast<int>(std::lround(size.height() * ratio)));
    // The pictures are palette PNGs, which Qt 6.4's smooth scaling crashes
    // on: shrunk in full colour.
    if (!image.isNull() && image.size() != device)
        image = image.convertToFormat(QImage::Format_RGB32)
                    .scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(image);
}

// On X11 (and under any XWayland compositor) the window bypasses the window
// manager: the X server puts it exactly where it asks and stacks it above
// the managed windows, and no window manager floats, centres, tiles or
// focuses it. A click on it does not ask Qt to activate it either.
constexpr Qt::WindowFlags kPopupFlags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                        Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint;

class PopupWidget final : public QWidget {
public:
    PopupWidget(const WindowDesign& design, WindowEvents& events)
        : QWidget(nullptr, kPopupFlags),
          events_(&events),
          designSize_(TwipsToPixels(design.width, TwipsPerPixelX()),
                      TwipsToPixels(design.height, TwipsPerPixelY())),
          labels_(design, WindowScale(), ThemeText()),
          alert_(design.alert) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_OpaquePaintEvent);
        for (const PopupLabel& label : labels_.All()) fonts_.push_back(DesignFont(label.font));
    }

    // Its accessible interface reads the labels: it goes first.
    ~PopupWidget() override {
        if (QAccessibleInterface* accessible = Accessible())
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(accessible));
    }

    // The core's window is gone: no event reaches it any more.
    void Detach() { events_ = nullptr; }

    PopupLabels& Labels() { return labels_; }
    const PopupLabels& Labels() const { return labels_; }

    bool Alert() const { return alert_; }
    const QString& NoticeName() const { return noticeName_; }
    const QString& NoticeDescription() const { return noticeDescription_; }
    void SetNotice(const QString& name, const QString& description) {
        // A screen reader may hold the previous notice's texts.
        if (std::exchange(noticeName_, name) != name) Notify(QAccessible::NameChanged);
        if (std::exchange(noticeDescription_, description) != description)
            Notify(QAccessible::DescriptionChanged);
    }
    void Notify(QAccessible::Event type) {
        QAccessibleEvent event(this, type);
        QAccessible::updateAccessibility(&event);
    }

    // Assistive technology asks from inside its own call into Qt; the
    // handler may unload the window, so it runs from the event loop.
    void Invoke(Control id) {
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                if (events_) events_->Invoke(id);
            },
            Qt::QueuedConnection);
    }

    // Qt made the interface that assistive technology sees (none until asked).
    void MadeAccessible() { madeAccessible_ = true; }
    QAccessibleInterface* Accessible() {
        return madeAccessible_ ? QAccessible::queryAccessibleInterface(this) : nullptr;
    }
    // A screen reader may hold the label's previous name.
    void LabelRenamed(Control id) {
        QAccessibleInterface* popup = Accessible();
        for (int i = 0; popup && i < popup->childCount(); ++i) {
            const PopupLabel& label = labels_.All()[static_cast<std::size_t>(i)];
            if (label.id != id || !label.accessibleName.empty()) continue;
            QAccessibleEvent event(popup->child(i), QAccessible::NameChanged);
            QAccessible::updateAccessibility(&event);
        }
    }

protected:
    void paintEvent(QPaintEvent*) override {
        // Made on first paint, when the window knows its screen, and again
        // should it move to a screen of another ratio.
        if (background_.isNull() || background_.devicePixelRatio() != devicePixelRatioF())
            background_ = BackgroundFor(designSize_, devicePixelRatioF());
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.drawPixmap(0, 0, background_);
        for (std::size_t i = 0; i < fonts_.size(); ++i) PaintLabel(painter, labels_.All()[i], fonts_[i]);
    }

    void mousePressEvent(QMouseEvent* event) override { Press(event); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { Press(event); }

    // Qt grabs the pointer for the widget that took the press, so the
    // release arrives here even when the pointer has left the pop-up.
    void mouseReleaseEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        const std::optional<LabelMouse> release =
            labels_.Release(at.x(), at.y(), ButtonNumber(event->button()), ShiftNumber(event->modifiers()));
        if (release && events_) events_->MouseUp(release->label, release->args);  // may unload the pop-up
    }

private:
    void Press(QMouseEvent* event) {
        const QPoint at = event->position().toPoint();
        const std::optional<LabelMouse> press =
            labels_.Press(at.x(), at.y(), ButtonNumber(event->button()), ShiftNumber(event->modifiers()));
        if (press && events_) events_->MouseDown(press->label, press->args);
    }

    // Wraps at the label's width, at word boundaries where it can and
    // anywhere where it must, and clips what falls below its bottom edge.
    static void PaintLabel(QPainter& painter, const PopupLabel& label, const QFont& font) {
        const QRect bounds = ToQRect(label.bounds);
        QTextLayout layout(LabelText(QString::fromStdU16String(label.caption)), font, painter.device());
        QTextOption option(label.centred ? Qt::AlignHCenter : Qt::AlignLeft);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        qreal y = 0;
        while (y < bounds.height()) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            line.setLineWidth(bounds.width());
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        layout.endLayout();
        painter.save();
        painter.setClipRect(bounds);
        painter.setPen(QColor(label.colour.red, label.colour.green, label.colour.blue));
        layout.draw(&painter, bounds.topLeft());
        painter.restore();
    }

    WindowEvents* events_;
    QSize designSize_;
    QPixmap background_;
    PopupLabels labels_;
    std::vector<QFont> fonts_;  // one a label, in the labels' order
    bool alert_;
    QString noticeName_, noticeDescription_;
    bool madeAccessible_ = false;
};

namespace {

// A label as assistive technology sees it: its role and name from the
// design, and for a link or a button the one action a click has.
class LabelAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    LabelAccessible(PopupWidget* popup, Control id) : popup_(popup), id_(id) {}

    bool isValid() const override { return Label() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return popup_ ? popup_->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(popup_); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text type) const override {
        const PopupLabel* label = Label();
        return label && type == QAccessible::Name ? QString::fromStdU16String(label->Name()) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const PopupLabel* label = Label();
        if (!label) return QRect();
        const QRect bounds = ToQRect(label->bounds);
        return QRect(popup_->mapToGlobal(bounds.topLeft()), bounds.size());
    }
    QAccessible::Role role() const override {
        const PopupLabel* label = Label();
        return label ? RoleFor(label->role) : QAccessible::NoRole;
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !popup_ || !popup_->isVisible();
        state.linked = role() == QAccessible::Link;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type != QAccessible::ActionInterface || role() == QAccessible::StaticText) return nullptr;
        return static_cast<QAccessibleActionInterface*>(this);
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid()) popup_->Invoke(id_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    const PopupLabel* Label() const { return popup_ ? std::as_const(*popup_).Labels().Find(id_) : nullptr; }

    QPointer<PopupWidget> popup_;
    Control id_;
};

// The pop-up as assistive technology sees it: a notification named by the
// notice's title and described by its text (or a plain window, for a design
// that is no notice), with its painted labels as children.
class PopupAccessible final : public QAccessibleWidget {
public:
    explicit PopupAccessible(PopupWidget* popup)
        : QAccessibleWidget(popup, popup->Alert() ? QAccessible::Notification : QAccessible::Window) {
        for (const PopupLabel& label : popup->Labels().All())
            labels_.push_back(QAccessible::registerAccessibleInterface(new LabelAccessible(popup, label.id)));
    }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Name) return Popup()->NoticeName();
        if (type == QAccessible::Description) return Popup()->NoticeDescription();
        return QAccessibleWidget::text(type);
    }
    int childCount() const override { return static_cast<int>(labels_.size()); }
    QAccessibleInterface* child(int index) const override {
        return index >= 0 && index < childCount() ? QAccessible::accessibleInterface(labels_[index])
                                                  : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (std::size_t i = 0; i < labels_.size(); ++i)
            if (QAccessible::accessibleInterface(labels_[i]) == child) return static_cast<int>(i);
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i)
            if (child(i)->rect().contains(x, y)) return child(i);
        return nullptr;
    }

protected:
    ~PopupAccessible() override {
        for (QAccessible::Id id : labels_) QAccessible::deleteAccessibleInterface(id);
    }

private:
    PopupWidget* Popup() const { return static_cast<PopupWidget*>(widget()); }

    std::vector<QAccessible::Id> labels_;
};

QAccessibleInterface* PopupAccessibleFactory(const QString&, QObject* object) {
    auto* popup = dynamic_cast<PopupWidget*>(object);
    if (!popup) return nullptr;
    popup->MadeAccessible();
    return new PopupAccessible(popup);
}

// The pop-up is on screen some 31 s per new item and the program idles in
// the tray for hours in between. Its CJK faces map megabytes of font files
// and Qt keeps every engine it made for the life of the process, so once the
// window is really gone the font cache is dropped (fonts still in use are
// looked up again) and the freed heap goes back to the system.
void ReleaseFontsWhenGone(QWidget* widget) {
    QObject::connect(
        widget, &QObject::destroyed, qApp,
        [] {
            QFont::cleanup();
#if defined(__GLIBC__)
            malloc_trim(0);
#endif
        },
        Qt::QueuedConnection);
}

}  // namespace

PopupWindow::PopupWindow(const WindowDesign& design, WindowEvents& events)
    : WindowBase(design, new PopupWidget(design, events)), popup_(static_cast<PopupWidget*>(widget_)) {
    QAccessible::installFactory(PopupAccessibleFactory);  // once; later calls change nothing
    ReleaseFontsWhenGone(widget_);
    layer_ = LayerSurface::Create(widget_, TwipsToPixels(kPopupRightMargin, TwipsPerPixelX()),
                                  TwipsToPixels(kPopupBottomMargin, TwipsPerPixelY()));
    // A Wayland window of Qt's own would be centred, focused or tiled: the
    // pop-up is never one. With no notification server either, nothing shows.
    onWayland_ = QGuiApplication::platformName() == QLatin1String("wayland");
    if (!layer_ && onWayland_)
        notice_ = DesktopNotice::Create([popup = popup_] { popup->Invoke(Control::DetailsLink); });
    Place();
}

PopupWindow::~PopupWindow() {
    popup_->Detach();
    layer_.reset();
    notice_.reset();
}

void PopupWindow::Redraw() {
    popup_->update();
    if (layer_) layer_->Redraw();
}

void PopupWindow::Show() {
    shown_ = true;
    Place();
}

// Height 0 is a real state of the slide, and Qt would unmap such a window
// anyway: the native window is hidden while the logical height stays 0.
void PopupWindow::ApplyPlacement() {
    WindowBase::ApplyPlacement();
    const bool visible = PopupVisible(shown_, height_);
    if (layer_) {
        if (visible)
            layer_->Show(QSize(width_, height_));
        else
            layer_->Hide();
        return;
    }
    if (onWayland_) return;
    if (visible && !widget_->isVisible()) {
        widget_->show();
        widget_->raise();
    } else if (!visible && widget_->isVisible()) {
        widget_->hide();
    }
}

// Qt announces the window itself as it maps it (the showing state turns
// on), and by then it has the notice's texts; a notice that arrives while the
// window is up is announced here, the same way.
void PopupWindow::Announce(const Text& name, const Text& description) {
    popup_->SetNotice(QString::fromStdU16String(name), QString::fromStdU16String(description));
    if (notice_) notice_->Show(popup_->NoticeName(), popup_->NoticeDescription());
    if (widget_->isVisible()) popup_->Notify(QAccessible::ObjectShow);
}

void PopupWindow::SetLabelCaption(Control label, const Text& caption) {
    if (popup_->Labels().SetCaption(label, caption)) {
        Redraw();
        popup_->LabelRenamed(label);
    }
}

void PopupWindow::MoveLabel(Control label, Twips left, Twips top) {
    if (popup_->Labels().Move(label, left, top)) Redraw();
}

}  // namespace velmora::qt
