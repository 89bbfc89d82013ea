#include "platform/qt/tray_icons.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <optional>

#include "platform/qt/tray_clicks.h"
#include "platform/qt/tray_wire.h"

namespace velmora::qt {
namespace {

// Qt's own widget for an icon docked through XEmbed; only it sees the real
// presses and releases.
constexpr char kXEmbedTrayWidget[] = "QSystemTrayIconSys";

bool XEmbedInUse() {
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (widget->inherits(kXEmbedTrayWidget)) return true;
    return false;
}

std::optional<TrayButton> ButtonOf(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return TrayButton::Left;
        case Qt::RightButton:
            return TrayButton::Right;
        case Qt::MiddleButton:
            return TrayButton::Middle;
        default:
            return std::nullopt;
    }
}

TrayActivation ActivationOf(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return TrayActivation::Trigger;
        case QSystemTrayIcon::Context:
            return TrayActivation::Context;
        case QSystemTrayIcon::DoubleClick:
            return TrayActivation::DoubleClick;
        case QSystemTrayIcon::MiddleClick:
            return TrayActivation::MiddleClick;
        default:
            return TrayActivation::Other;
    }
}

}  // namespace

TrayIcons::TrayIcons(const HandleTable& handles, Deliver deliver)
    : handles_(handles), deliver_(std::move(deliver)) {
    // The tray widget is Qt's private class, created whenever a tray appears:
    // an application-wide filter is the one place that sees its clicks.
    qApp->installEventFilter(this);
}

// The icons are children of this object and go with it.
TrayIcons::~TrayIcons() {
    qApp->removeEventFilter(this);
}

bool TrayIcons::Notify(std::int32_t message, const NotifyIconWire& data) {
    const NotifyIconRequest request = ParseNotifyIconWire(data);
    Icon* icon = Find(request.window, request.id);
    const HandleTarget* target = handles_.Find(request.window);
    const bool windowExists = target && target->events;
    switch (DecideNotifyIcon(message, request, icon != nullptr, windowExists)) {
        case NotifyIconAction::Refuse:
            return false;
        case NotifyIconAction::Add: {
            auto* tray = new QSystemTrayIcon(this);
            const Handle window = request.window;
            connect(
                tray, &QSystemTrayIcon::activated, this,
                [this, window](QSystemTrayIcon::ActivationReason reason) { OnActivated(window, reason); });
            icons_.push_back(Icon{request.window, request.id, tray});
            icon = &icons_.back();
            break;
        }
        case NotifyIconAction::Modify:
            break;
        case NotifyIconAction::Delete: {
            QSystemTrayIcon* tray = icon->tray;
            tray->hide();
            tray->deleteLater();
            std::erase_if(icons_, [tray](const Icon& i) { return i.tray == tray; });
            return true;
        }
    }
    if (request.flags & kNifIcon) {
        const HandleTarget* picture = handles_.Find(request.icon);
        // An unknown icon handle still gets an icon the user can click.
        icon->tray->setIcon(picture && !picture->icon.isNull() ? picture->icon : QApplication::windowIcon());
    }
    if (request.flags & kNifTip) icon->tray->setToolTip(QString::fromUtf8(request.tip));
    icon->tray->show();
    if ((request.flags & kNifInfo) && !request.info.empty())
        icon->tray->showMessage(QString::fromUtf8(request.infoTitle), QString::fromUtf8(request.info),
                                QSystemTrayIcon::NoIcon);
    return true;
}

TrayIcons::Icon* TrayIcons::Find(Handle window, std::int32_t id) {
    for (Icon& icon : icons_)
        if (icon.window == window && icon.id == id) return &icon;
    return nullptr;
}

// Qt does not say which icon a tray widget belongs to; the widget covers the
// icon's place on the screen.
TrayIcons::Icon* TrayIcons::OwnerOf(QObject* trayWidget) {
    if (icons_.size() == 1) return &icons_.front();
    auto* widget = static_cast<QWidget*>(trayWidget);
    const QRect place(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    for (Icon& icon : icons_)
        if (icon.tray->geometry() == place) return &icon;
    return nullptr;
}

bool TrayIcons::eventFilter(QObject* watched, QEvent* event) {
    TrayPress press;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            press = TrayPress::Down;
            break;
        case QEvent::MouseButtonRelease:
            press = TrayPress::Up;
            break;
        case QEvent::MouseButtonDblClick:
            press = TrayPress::DoubleClick;
            break;
        default:
            return false;
    }
    if (!watched->inherits(kXEmbedTrayWidget)) return false;
    const auto button = ButtonOf(static_cast<QMouseEvent*>(event)->button());
    Icon* icon = OwnerOf(watched);
    if (button && icon) Post(icon->window, {MouseMessageFor(*button, press)});
    return false;
}

void TrayIcons::OnActivated(Handle window, QSystemTrayIcon::ActivationReason reason) {
    // Under XEmbed the filter has already delivered the real press (Qt
    // activates on the press); only a StatusNotifier host needs the mapping.
    if (XEmbedInUse()) return;
    Post(window, MouseMessagesFor(ActivationOf(reason)));
}

// Posted, as the shell posts its callbacks: the exit prompt's nested loop
// and the process's end must not run inside Qt's tray code.
void TrayIcons::Post(Handle window, std::vector<std::int32_t> messages) {
    QMetaObject::invokeMethod(
        this,
        [this, window, messages] {
            for (std::int32_t message : messages) deliver_(window, message);
        },
        Qt::QueuedConnection);
}

}  // namespace velmora::qt
