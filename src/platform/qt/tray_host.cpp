#include "platform/qt/tray_host.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <cstdlib>
#include <memory>

namespace velmora::qt {
namespace {

constexpr char kWatcherService[] = "org.kde.StatusNotifierWatcher";
constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
constexpr char kGnomeShellService[] = "org.gnome.Shell";
// A host that does not answer within this is not one to dock in.
constexpr int kBusCallTimeoutMs = 2000;

bool StatusNotifierHostRegistered() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kWatcherService)) return false;
    QDBusMessage get = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath,
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QString(kWatcherService) << QString("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, kBusCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

xcb_connection_t* X11Connection() {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const QByteArray& name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.constData()),
                              nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The tray of the display's default screen owns this selection.
xcb_atom_t TraySelection(xcb_connection_t* connection) {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen)) std::free(host);
    return Atom(connection, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen));
}

bool XEmbedTrayPresent() {
    xcb_connection_t* connection = X11Connection();
    if (!connection) return false;
    const xcb_atom_t selection = TraySelection(connection);
    if (selection == XCB_ATOM_NONE) return false;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr),
        &std::free);
    return reply && reply->owner != XCB_WINDOW_NONE;
}

}  // namespace

bool TrayHostPresent() {
    return StatusNotifierHostRegistered() || XEmbedTrayPresent();
}

bool HostShowsOnlyMenus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // An icon docked through XEmbed takes its clicks itself.
    if (!StatusNotifierHostRegistered()) return false;
    const QDBusReply<QString> watcher = bus.interface()->serviceOwner(kWatcherService);
    const QDBusReply<QString> shell = bus.interface()->serviceOwner(kGnomeShellService);
    return watcher.isValid() && shell.isValid() && watcher.value() == shell.value();
}

TrayHostWatch::TrayHostWatch(std::function<void()> onHost) : onHost_(std::move(onHost)) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        // A watcher that comes with its host says so by its property; one
        // whose host comes later signals it.
        watcherWatch_ =
            new QDBusServiceWatcher(kWatcherService, bus, QDBusServiceWatcher::WatchForRegistration, this);
        connect(watcherWatch_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            if (StatusNotifierHostRegistered()) Found();
        });
        bus.connect(QString(), kWatcherPath, kWatcherService, "StatusNotifierHostRegistered", this,
                    SLOT(HostRegistered()));
    }
    // A new XEmbed tray announces itself to every client with a MANAGER
    // message on the root window, which Qt listens to.
    if (xcb_connection_t* connection = X11Connection()) {
        managerAtom_ = Atom(connection, "MANAGER");
        traySelection_ = TraySelection(connection);
        qApp->installNativeEventFilter(this);
    }
}

TrayHostWatch::~TrayHostWatch() {
    qApp->removeNativeEventFilter(this);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.disconnect(QString(), kWatcherPath, kWatcherService, "StatusNotifierHostRegistered", this,
                       SLOT(HostRegistered()));
}

bool TrayHostWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE) return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    if (client->format == 32 && client->type == managerAtom_ && client->data.data32[1] == traySelection_)
        Found();
    return false;
}

void TrayHostWatch::HostRegistered() {
    Found();
}

// Queued: the caller may end the watch, and these run inside Qt's own
// event handling.
void TrayHostWatch::Found() {
    if (found_) return;
    found_ = true;
    QMetaObject::invokeMethod(
        this, [this] { onHost_(); }, Qt::QueuedConnection);
}

}  // namespace velmora::qt
