#include "platform/qt/tray_icon.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace velmora::qt {
namespace {

// Qt's own widget for an icon docked through XEmbed; only it sees the real
// presses and releases.
constexpr char kXEmbedTrayWidget[] = "QSystemTrayIconSys";

int addedIcons = 0;

bool XEmbedInUse() {
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (widget->inherits(kXEmbedTrayWidget)) return true;
    return false;
}

}  // namespace

std::optional<TrayActivation> ActivationForMouse(QEvent::Type type, Qt::MouseButton button) {
    const bool left = button == Qt::LeftButton;
    if (!left && button != Qt::RightButton) return std::nullopt;  // the middle button means nothing here
    switch (type) {
        case QEvent::MouseButtonPress:
            return left ? TrayActivation::LeftDown : TrayActivation::RightDown;
        case QEvent::MouseButtonRelease:
            return left ? TrayActivation::LeftUp : TrayActivation::RightUp;
        case QEvent::MouseButtonDblClick:
            return left ? TrayActivation::LeftDoubleClick : TrayActivation::RightDoubleClick;
        default:
            return std::nullopt;
    }
}

std::vector<TrayActivation> ActivationsForReason(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return {TrayActivation::LeftDown, TrayActivation::LeftUp};
        case QSystemTrayIcon::Context:
            // The release is what opens the exit prompt.
            return {TrayActivation::RightDown, TrayActivation::RightUp};
        case QSystemTrayIcon::DoubleClick:
            // The host has already sent Trigger for the first click.
            return {TrayActivation::LeftDoubleClick};
        default:
            return {};
    }
}

TrayIcon::TrayIcon(QObject* window, const QIcon& picture, std::function<void(TrayActivation)> onActivation,
                   std::function<bool()> hostPresent)
    : window_(window),
      picture_(picture),
      onActivation_(std::move(onActivation)),
      hostPresent_(std::move(hostPresent)) {
    // The tray widget is Qt's private class, created whenever a tray appears:
    // an application-wide filter is the one place that sees its clicks.
    qApp->installEventFilter(this);
}

TrayIcon::~TrayIcon() {
    qApp->removeEventFilter(this);
    Remove();
}

void TrayIcon::Add(const TrayIconContent& content) {
    // Once, and only while its window is there to take the clicks.
    if (tray_ || hostWatch_ || !window_) return;
    content_ = content;
    // Watching first: a tray that comes just after the look is not missed.
    hostWatch_ = new TrayHostWatch([this] {
        hostWatch_->deleteLater();
        hostWatch_ = nullptr;
        if (window_) Create();
    });
    if (!hostPresent_()) return;
    delete hostWatch_;
    hostWatch_ = nullptr;
    Create();
}

void TrayIcon::Create() {
    tray_ = new QSystemTrayIcon;
    ++addedIcons;
    connect(tray_, &QSystemTrayIcon::activated, this, &TrayIcon::Activated);
    // Without its picture the icon still needs something the user can click.
    tray_->setIcon(picture_.isNull() ? QApplication::windowIcon() : picture_);
    // Before the icon shows: the host reads the menu when the item registers.
    // Elsewhere no menu, so that the right button asks at once.
    if (HostShowsOnlyMenus()) {
        menu_ = new QMenu;
        connect(menu_->addAction(QStringLiteral("退出")), &QAction::triggered, this, [this] {
            for (TrayActivation activation : ActivationsForReason(QSystemTrayIcon::Context)) Post(activation);
        });
        tray_->setContextMenu(menu_);
    }
    Show(content_);
}

void TrayIcon::Update(const TrayIconContent& content) {
    content_ = content;
    if (tray_) Show(content);
}

void TrayIcon::Remove() {
    delete hostWatch_;
    hostWatch_ = nullptr;
    if (!tray_) return;
    tray_->hide();
    tray_->deleteLater();
    tray_ = nullptr;
    if (menu_) menu_->deleteLater();
    menu_ = nullptr;
    --addedIcons;
}

void TrayIcon::Show(const TrayIconContent& content) {
    tray_->setToolTip(QString::fromStdU16String(content.tip));
    tray_->show();
    if (!content.balloonTitle.empty() || !content.balloonText.empty())
        tray_->showMessage(QString::fromStdU16String(content.balloonTitle),
                           QString::fromStdU16String(content.balloonText), QSystemTrayIcon::NoIcon);
}

void TrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
    // Under XEmbed the filter has already posted the real press (Qt
    // activates on the press); only a StatusNotifier host needs the mapping.
    if (XEmbedInUse()) return;
    for (TrayActivation activation : ActivationsForReason(reason)) Post(activation);
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            break;
        default:
            return false;
    }
    if (!watched->inherits(kXEmbedTrayWidget) || !Owns(watched)) return false;
    if (const auto activation = ActivationForMouse(event->type(), static_cast<QMouseEvent*>(event)->button()))
        Post(*activation);
    return false;
}

// Qt does not say which icon a tray widget belongs to; the widget covers the
// icon's place on the screen.
bool TrayIcon::Owns(QObject* trayWidget) const {
    if (!tray_) return false;
    if (addedIcons == 1) return true;
    auto* widget = static_cast<QWidget*>(trayWidget);
    return tray_->geometry() == QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

// Posted, as the shell posts its callbacks: the exit prompt's nested loop
// and the process's end must not run inside Qt's tray code. A handler may
// destroy the icon or unload its window; what is still queued then goes
// nowhere.
void TrayIcon::Post(TrayActivation activation) {
    if (!tray_) return;
    QMetaObject::invokeMethod(
        tray_,
        [self = QPointer<TrayIcon>(this), activation] {
            if (!self || !self->window_) return;
            const auto onActivation = self->onActivation_;  // the call may destroy the icon
            onActivation(activation);
        },
        Qt::QueuedConnection);
}

}  // namespace velmora::qt
