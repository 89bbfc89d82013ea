// Whether the user can take a notice, as the Linux desktop tells it: the
// screen saver or lock (org.freedesktop.ScreenSaver or GNOME's, logind's
// LockedHint), the notification server's do-not-disturb (Inhibited) or
// GNOME's (show-banners), and a full-screen active window on X11 or Xwayland.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

#include "platform/platform.h"

namespace velmora::qt {

// Away where any source says so; Unknown only where none could answer.
UserPresence CombinePresence(std::initializer_list<std::optional<bool>> awayAnswers);

class UserPresenceWatch {
public:
    UserPresenceWatch();
    UserPresenceWatch(const UserPresenceWatch&) = delete;
    UserPresenceWatch& operator=(const UserPresenceWatch&) = delete;

    UserPresence Ask();
    // From the first call with a function on, the desktop's signals run it.
    void Watch(std::function<void()> mayHaveChanged);

private:
    std::optional<bool> ScreenSaverActive();
    std::optional<bool> SessionLocked();
    std::optional<bool> NotificationsInhibited();
    void Subscribe();

    QDBusConnection session_;
    QDBusConnection system_;
    QString sessionPath_;  // logind's object for this session, empty when unknown
    // A zero-time single shot: a burst of signals becomes one event of its own.
    QTimer news_;
    std::function<void()> mayHaveChanged_;
    bool subscribed_ = false;
};

// Whether the active window fills the screen (X11 and Xwayland only).
std::optional<bool> ActiveWindowFullScreen();

}  // namespace velmora::qt
