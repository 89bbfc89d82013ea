// Reading the 488-byte notification-icon record that the core hands to
// ShellNotifyIcon, and what the shell would make of a request. Free of Qt so
// both can be tested on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace velmora::qt {

// Byte offsets of the 32-bit ANSI record (NOTIFYICONDATAA, version 2).
namespace wire {
inline constexpr std::size_t kSize = 0, kWindow = 4, kId = 8, kFlags = 12, kIcon = 20;
inline constexpr std::size_t kTip = 24, kInfo = 160, kInfoTitle = 420;
inline constexpr std::size_t kTipBytes = 128, kInfoBytes = 256, kInfoTitleBytes = 64;
}  // namespace wire

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

inline std::int32_t ReadWireInt(const NotifyIconWire& data, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{data[offset + i]} << (8 * i);
    return static_cast<std::int32_t>(value);
}

// Up to the first NUL, never past the field: a field without a NUL is read whole.
inline std::string ReadWireText(const NotifyIconWire& data, std::size_t offset, std::size_t size) {
    const char* field = reinterpret_cast<const char*>(data.data() + offset);
    const void* nul = std::memchr(field, '\0', size);
    return std::string(field, nul ? static_cast<const char*>(nul) - field : size);
}

inline NotifyIconRequest ParseNotifyIconWire(const NotifyIconWire& data) {
    NotifyIconRequest request;
    request.size = ReadWireInt(data, wire::kSize);
    request.window = ReadWireInt(data, wire::kWindow);
    request.id = ReadWireInt(data, wire::kId);
    request.flags = ReadWireInt(data, wire::kFlags);
    request.icon = ReadWireInt(data, wire::kIcon);
    request.tip = ReadWireText(data, wire::kTip, wire::kTipBytes);
    request.info = ReadWireText(data, wire::kInfo, wire::kInfoBytes);
    request.infoTitle = ReadWireText(data, wire::kInfoTitle, wire::kInfoTitleBytes);
    return request;
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
