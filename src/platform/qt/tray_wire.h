// Reading the 488-byte notification-icon record that the core hands to
// ShellNotifyIcon, and what the shell would make of a request. Free of Qt so
// both can be tested on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "tray/notify_icon_data.h"

namespace velmora::qt {

inline constexpr std::int32_t kNifIcon = 2;
inline constexpr std::int32_t kNifTip = 4;
inline constexpr std::int32_t kNifInfo = 16;

// The fields the adapter acts on; texts are UTF-8, the adapter's ANSI code page.
struct NotifyIconRequest {
    std::int32_t size = 0;
    Handle window = 0;
    std::int32_t id = 0;
    std::int32_t flags = 0;
    Handle icon = 0;
    std::string tip, info, infoTitle;
};

// Read through the core's own reader of the record, so the two never disagree.
inline NotifyIconRequest ParseNotifyIconWire(const NotifyIconWire& data) {
    NotifyIconData record;
    FromWire(data, record, [](std::string_view bytes) { return Utf8ToText(bytes); });
    return NotifyIconRequest{record.cbSize,
                             record.hWnd,
                             record.uID,
                             record.uFlags,
                             record.hIcon,
                             TextToUtf8(record.szTip.Shown()),
                             TextToUtf8(record.szInfo.Shown()),
                             TextToUtf8(record.szInfoTitle.Shown())};
}

enum class NotifyIconAction { Refuse, Add, Modify, Delete };

// What the shell does with a request: it adds an icon only once per
// (window, id) and only for a live window that can receive the callbacks,
// and it changes or removes only an icon it has.
inline NotifyIconAction DecideNotifyIcon(std::int32_t message, const NotifyIconRequest& request,
                                         bool iconExists, bool windowExists) {
    if (request.size != static_cast<std::int32_t>(kNotifyIconDataSize)) return NotifyIconAction::Refuse;
    switch (message) {
        case kNimAdd:
            return !iconExists && windowExists ? NotifyIconAction::Add : NotifyIconAction::Refuse;
        case kNimModify:
            return iconExists ? NotifyIconAction::Modify : NotifyIconAction::Refuse;
        case kNimDelete:
            return iconExists ? NotifyIconAction::Delete : NotifyIconAction::Refuse;
        default:
            return NotifyIconAction::Refuse;
    }
}

}  // namespace velmora::qt
