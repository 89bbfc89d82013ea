// The notification-area icon: the core's 488-byte record becomes the native
// NOTIFYICONDATAW, and the last icon added is remembered so it can be added
// again when Explorer restarts.
#pragma once

#include <optional>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"
#include "tray/notify_icon_data.h"

#include <shellapi.h>

namespace velmora::win32 {

class TrayIcons {
public:
    // The record's texts are in the core's narrow code page; `platform`
    // widens them.
    explicit TrayIcons(Platform& platform) : platform_(platform) {}
    bool Notify(std::int32_t message, const NotifyIconWire& wire);
    // On the shell's "TaskbarCreated" broadcast: the new taskbar knows none
    // of our icons, and without the icon there is no way to quit.
    void AddAgain();
    static UINT TaskbarCreatedMessage();

private:
    NOTIFYICONDATAW ToNative(const NotifyIconWire& wire);
    static void CopyText(const Text& text, wchar_t* out, std::size_t capacity);

    Platform& platform_;
    std::optional<NOTIFYICONDATAW> added_;
};

}  // namespace velmora::win32
