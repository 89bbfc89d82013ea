// What the shell's notification state (SHQueryUserNotificationState) means
// for a notice. Free of Windows headers so that any machine's tests check it;
// the adapter checks the numbers against the real header.
#pragma once

#include "platform/platform.h"

namespace velmora::win32 {

// QUERY_USER_NOTIFICATION_STATE.
inline constexpr int kQunsNotPresent = 1, kQunsBusy = 2, kQunsRunningD3dFullScreen = 3,
                     kQunsPresentationMode = 4, kQunsAcceptsNotifications = 5, kQunsQuietTime = 6,
                     kQunsApp = 7;

// Away while the screen saver runs, the workstation is locked or switched
// away, a full-screen program or Direct3D game has the screen, or
// presentation mode is on. A failed query or a state this program does not
// know is no answer.
UserPresence PresenceOf(bool queried, int state);

}  // namespace velmora::win32
