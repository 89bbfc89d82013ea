#include "tray/notify_icon_data.h"

#include <algorithm>

namespace velmora {
namespace {

constexpr std::size_t kTipOffset = 24, kTipSize = 128;
constexpr std::size_t kInfoOffset = 160, kInfoSize = 256;
constexpr std::size_t kInfoTitleOffset = 420, kInfoTitleSize = 64;

void PutInt(NotifyIconWire& wire, std::size_t offset, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) wire[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::int32_t GetInt(const NotifyIconWire& wire, std::size_t offset) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i) bits |= std::uint32_t{wire[offset + i]} << (8 * i);
    return static_cast<std::int32_t>(bits);
}

void PutText(NotifyIconWire& wire, std::size_t offset, std::size_t size, const Text& field,
             const AnsiEncoder& toAnsi) {
    std::size_t used = 0;
    bool pastNul = false;
    for (std::size_t i = 0; i < field.size();) {
        const bool pair = IsHighSurrogate(field[i]) && i + 1 < field.size() && IsLowSurrogate(field[i + 1]);
        const std::size_t units = pair ? 2 : 1;
        const bool nul = field[i] == u'\0';
        // The NUL is written by hand: it must be one zero byte whatever the
        // encoder makes of it.
        const std::string bytes = nul ? std::string(1, '\0') : toAnsi(std::u16string_view(&field[i], units));
        const std::size_t room = (pastNul || nul) ? size : size - 1;
        if (used + bytes.size() > room) break;
        std::copy(bytes.begin(), bytes.end(), wire.begin() + static_cast<std::ptrdiff_t>(offset + used));
        used += bytes.size();
        pastNul = pastNul || nul;
        i += units;
    }
}

template <std::size_t N>
void GetText(const NotifyIconWire& wire, std::size_t offset, std::size_t size, FixedText<N>& field,
             const AnsiDecoder& fromAnsi) {
    const std::string_view bytes(reinterpret_cast<const char*>(wire.data() + offset), size);
    field.Store(fromAnsi(bytes));
}

}  // namespace

NotifyIconWire ToWire(const NotifyIconData& record, const AnsiEncoder& toAnsi) {
    NotifyIconWire wire{};
    PutInt(wire, 0, record.cbSize);
    PutInt(wire, 4, record.hWnd);
    PutInt(wire, 8, record.uID);
    PutInt(wire, 12, record.uFlags);
    PutInt(wire, 16, record.uCallbackMessage);
    PutInt(wire, 20, record.hIcon);
    PutText(wire, kTipOffset, kTipSize, record.szTip.Whole(), toAnsi);
    PutInt(wire, 152, record.dwState);
    PutInt(wire, 156, record.dwStateMask);
    PutText(wire, kInfoOffset, kInfoSize, record.szInfo.Whole(), toAnsi);
    PutInt(wire, 416, record.uTimeout);
    PutText(wire, kInfoTitleOffset, kInfoTitleSize, record.szInfoTitle.Whole(), toAnsi);
    PutInt(wire, 484, record.dwInfoFlags);
    return wire;
}

void FromWire(const NotifyIconWire& wire, NotifyIconData& record, const AnsiDecoder& fromAnsi) {
    record.cbSize = GetInt(wire, 0);
    record.hWnd = GetInt(wire, 4);
    record.uID = GetInt(wire, 8);
    record.uFlags = GetInt(wire, 12);
    record.uCallbackMessage = GetInt(wire, 16);
    record.hIcon = GetInt(wire, 20);
    GetText(wire, kTipOffset, kTipSize, record.szTip, fromAnsi);
    record.dwState = GetInt(wire, 152);
    record.dwStateMask = GetInt(wire, 156);
    GetText(wire, kInfoOffset, kInfoSize, record.szInfo, fromAnsi);
    record.uTimeout = GetInt(wire, 416);
    GetText(wire, kInfoTitleOffset, kInfoTitleSize, record.szInfoTitle, fromAnsi);
    record.dwInfoFlags = GetInt(wire, 484);
}

}  // namespace velmora
