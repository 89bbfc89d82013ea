#include "platform/qt/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace velmora::qt {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = kService;
const QString kDetailsAction = QStringLiteral("details");
// As long as the pop-up stays up.
constexpr int kExpireMs = 30000;

QDBusMessage Call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

}  // namespace

std::unique_ptr<DesktopNotice> DesktopNotice::Create(std::function<void()> details) {
    // Some servers start on the first call (D-Bus activation).
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || (!bus.interface()->isServiceRegistered(kService) &&
                               !bus.interface()->activatableServiceNames().value().contains(kService)))
        return nullptr;
    return std::unique_ptr<DesktopNotice>(new DesktopNotice(std::move(details)));
}

DesktopNotice::DesktopNotice(std::function<void()> details) : details_(std::move(details)) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(ActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(Closed(uint)));
}

DesktopNotice::~DesktopNotice() {
    if (!id_) return;
    QDBusMessage close = Call(QStringLiteral("CloseNotification"));
    close << id_;
    QDBusConnection::sessionBus().send(close);
}

// Waits for the server's answer, as its id names the notice in every later
// call and signal; a server that does not answer shows nothing.
void DesktopNotice::Show(const QString& title, const QString& text) {
    QDBusMessage notify = Call(QStringLiteral("Notify"));
    notify << QStringLiteral("Velmora") << id_ << QStringLiteral("velmora") << title << text
           << QStringList{kDetailsAction, QStringLiteral("查看详情")}
           << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("velmora")}} << kExpireMs;
    const QDBusReply<uint> reply = QDBusConnection::sessionBus().call(notify, QDBus::Block, 5000);
    if (reply.isValid()) id_ = reply.value();
}

void DesktopNotice::ActionInvoked(uint id, const QString& action) {
    if (id_ && id == id_ && action == kDetailsAction) details_();
}

void DesktopNotice::Closed(uint id) {
    if (id == id_) id_ = 0;
}

}  // namespace velmora::qt
