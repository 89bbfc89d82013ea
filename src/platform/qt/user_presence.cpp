#include "platform/qt/user_presence.h"

#include <xcb/xcb.h>

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QProcess>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace velmora::qt {
namespace {

// No service is started for a question: a desktop without one has no answer.
// Each answer comes within this, or counts as none.
constexpr int kCallTimeoutMs = 400;

const QString kFreedesktopSaver = "org.freedesktop.ScreenSaver";
const QString kGnomeSaver = "org.gnome.ScreenSaver";
const QString kNotifications = "org.freedesktop.Notifications";
const QString kNotificationsPath = "/org/freedesktop/Notifications";
const QString kLogin = "org.freedesktop.login1";
const QString kProperties = "org.freedesktop.DBus.Properties";

std::optional<QVariant> Call(const QDBusConnection& bus, const QString& service, const QString& path,
                             const QString& interface, const QString& method,
                             const QVariantList& arguments = {}) {
    if (!bus.isConnected()) return std::nullopt;
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    const QDBusMessage reply = bus.call(message, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    return reply.arguments().first();
}

std::optional<bool> BoolOf(const std::optional<QVariant>& value) {
    if (!value) return std::nullopt;
    // Properties come wrapped in a variant.
    const QVariant inner =
        value->canConvert<QDBusVariant>() ? value->value<QDBusVariant>().variant() : *value;
    if (inner.metaType().id() != QMetaType::Bool) return std::nullopt;
    return inner.toBool();
}

std::optional<bool> Property(const QDBusConnection& bus, const QString& service, const QString& path,
                             const QString& interface, const QString& name) {
    return BoolOf(Call(bus, service, path, kProperties, "Get", {interface, name}));
}

template <typename Reply>
using Owned = std::unique_ptr<Reply, void (*)(void*)>;

template <typename Reply>
Owned<Reply> Own(Reply* reply) {
    return Owned<Reply>(reply, std::free);
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const auto reply = Own(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// GNOME keeps its do-not-disturb switch in its settings, which only its own
// library or tool reads; the tool is asked only on GNOME.
std::optional<bool> GnomeBannersOff() {
    if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains("GNOME", Qt::CaseInsensitive))
        return std::nullopt;
    QProcess gsettings;
    gsettings.start("gsettings", {"get", "org.gnome.desktop.notifications", "show-banners"},
                    QIODevice::ReadOnly);
    // A tool that does not answer in time is killed with the object.
    if (!gsettings.waitForFinished(kCallTimeoutMs) || gsettings.exitStatus() != QProcess::NormalExit ||
        gsettings.exitCode() != 0)
        return std::nullopt;
    const QByteArray answer = gsettings.readAllStandardOutput().trimmed();
    if (answer == "false") return true;
    if (answer == "true") return false;
    return std::nullopt;
}

}  // namespace

UserPresence CombinePresence(std::initializer_list<std::optional<bool>> awayAnswers) {
    bool answered = false;
    for (const auto& away : awayAnswers) {
        if (away && *away) return UserPresence::Away;
        answered |= away.has_value();
    }
    return answered ? UserPresence::Available : UserPresence::Unknown;
}

std::optional<bool> ActiveWindowFullScreen() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return std::nullopt;
    const xcb_atom_t active = Atom(connection, "_NET_ACTIVE_WINDOW");
    const xcb_atom_t state = Atom(connection, "_NET_WM_STATE");
    const xcb_atom_t fullScreen = Atom(connection, "_NET_WM_STATE_FULLSCREEN");
    if (!active || !state || !fullScreen) return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto activeReply = Own(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, active, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr));
    // No window manager keeps the property: nothing to say.
    if (!activeReply || activeReply->format != 32 || xcb_get_property_value_length(activeReply.get()) < 4)
        return std::nullopt;
    const xcb_window_t window = *static_cast<const xcb_window_t*>(xcb_get_property_value(activeReply.get()));
    if (window == XCB_WINDOW_NONE) return false;
    const auto stateReply = Own(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, state, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
        nullptr));
    if (!stateReply) return std::nullopt;  // the window went meanwhile
    if (stateReply->format != 32) return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(stateReply.get()));
    const int count = xcb_get_property_value_length(stateReply.get()) / 4;
    for (int i = 0; i < count; ++i)
        if (atoms[i] == fullScreen) return true;
    return false;
}

UserPresenceWatch::UserPresenceWatch()
    : session_(QDBusConnection::sessionBus()), system_(QDBusConnection::systemBus()) {
    news_.setSingleShot(true);
    news_.setInterval(0);
    QObject::connect(&news_, &QTimer::timeout, [this] {
        if (mayHaveChanged_) mayHaveChanged_();
    });
}

UserPresence UserPresenceWatch::Ask() {
    return CombinePresence({ScreenSaverActive(), SessionLocked(), NotificationsInhibited(), GnomeBannersOff(),
                            ActiveWindowFullScreen()});
}

std::optional<bool> UserPresenceWatch::ScreenSaverActive() {
    if (auto active = BoolOf(Call(session_, kFreedesktopSaver, "/org/freedesktop/ScreenSaver",
                                  kFreedesktopSaver, "GetActive")))
        return active;
    return BoolOf(Call(session_, kGnomeSaver, "/org/gnome/ScreenSaver", kGnomeSaver, "GetActive"));
}

std::optional<bool> UserPresenceWatch::SessionLocked() {
    if (sessionPath_.isEmpty()) return std::nullopt;
    return Property(system_, kLogin, sessionPath_, "org.freedesktop.login1.Session", "LockedHint");
}

std::optional<bool> UserPresenceWatch::NotificationsInhibited() {
    return Property(session_, kNotifications, kNotificationsPath, kNotifications, "Inhibited");
}

void UserPresenceWatch::Watch(std::function<void()> mayHaveChanged) {
    mayHaveChanged_ = std::move(mayHaveChanged);
    if (mayHaveChanged_ && !subscribed_) Subscribe();
}

// Each signal starts the zero-time timer (its start() slot takes no
// arguments, which a signal with more may call).
void UserPresenceWatch::Subscribe() {
    subscribed_ = true;
    if (session_.isConnected()) {
        session_.connect(kFreedesktopSaver, {}, kFreedesktopSaver, "ActiveChanged", &news_, SLOT(start()));
        session_.connect(kGnomeSaver, "/org/gnome/ScreenSaver", kGnomeSaver, "ActiveChanged", &news_,
                         SLOT(start()));
        session_.connect(kNotifications, kNotificationsPath, kProperties, "PropertiesChanged", &news_,
                         SLOT(start()));
    }
    const auto path = Call(system_, kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           "GetSession", {QString("auto")});
    if (path && path->canConvert<QDBusObjectPath>()) {
        sessionPath_ = path->value<QDBusObjectPath>().path();
        system_.connect(kLogin, sessionPath_, kProperties, "PropertiesChanged", &news_, SLOT(start()));
    }
}

}  // namespace velmora::qt
