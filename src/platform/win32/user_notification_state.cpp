#include "platform/win32/user_notification_state.h"

namespace velmora::win32 {

UserPresence PresenceOf(bool queried, int state) {
    if (!queried) return UserPresence::Unknown;
    switch (state) {
        case kQunsNotPresent:
        case kQunsBusy:
        case kQunsRunningD3dFullScreen:
        case kQunsPresentationMode:
            return UserPresence::Away;
        // Windows' own notifications show in these.
        case kQunsAcceptsNotifications:
        case kQunsQuietTime:
        case kQunsApp:
            return UserPresence::Available;
        default:
            return UserPresence::Unknown;
    }
}

}  // namespace velmora::win32
