#include "platform/win32/notify_icon_record.h"

#include <algorithm>

#include "core/arith.h"

namespace velmora::win32 {
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
             const NarrowEncoder& encode) {
    std::size_t used = 0;
    bool pastNul = false;
    for (std::size_t i = 0; i < field.size();) {
        const bool pair = IsHighSurrogate(field[i]) && i + 1 < field.size() && IsLowSurrogate(field[i + 1]);
        const std::size_t units = pair ? 2 : 1;
        const bool nul = field[i] == u'\0';
        // The NUL is written by hand: it must be one zero byte whatever the
        // encoder makes of it.
        const std::string bytes = nul ? std::string(1, '\0') : encode(std::u16string_view(&field[i], units));
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
             const NarrowDecoder& decode) {
    const std::string_view bytes(reinterpret_cast<const char*>(wire.data() + offset), size);
    field.Store(decode(bytes));
}

}  // namespace

NotifyIconWire ToWire(const NotifyIconRecord& record, const NarrowEncoder& encode) {
    NotifyIconWire wire{};
    PutInt(wire, 0, record.cbSize);
    PutInt(wire, 4, record.hWnd);
    PutInt(wire, 8, record.uID);
    PutInt(wire, 12, record.uFlags);
    PutInt(wire, 16, record.uCallbackMessage);
    PutInt(wire, 20, record.hIcon);
    PutText(wire, kTipOffset, kTipSize, record.szTip.Whole(), encode);
    PutInt(wire, 152, record.dwState);
    PutInt(wire, 156, record.dwStateMask);
    PutText(wire, kInfoOffset, kInfoSize, record.szInfo.Whole(), encode);
    PutInt(wire, 416, record.uTimeout);
    PutText(wire, kInfoTitleOffset, kInfoTitleSize, record.szInfoTitle.Whole(), encode);
    PutInt(wire, 484, record.dwInfoFlags);
    return wire;
}

void FromWire(const NotifyIconWire& wire, NotifyIconRecord& record, const NarrowDecoder& decode) {
    record.cbSize = GetInt(wire, 0);
    record.hWnd = GetInt(wire, 4);
    record.uID = GetInt(wire, 8);
    record.uFlags = GetInt(wire, 12);
    record.uCallbackMessage = GetInt(wire, 16);
    record.hIcon = GetInt(wire, 20);
    GetText(wire, kTipOffset, kTipSize, record.szTip, decode);
    record.dwState = GetInt(wire, 152);
    record.dwStateMask = GetInt(wire, 156);
    GetText(wire, kInfoOffset, kInfoSize, record.szInfo, decode);
    record.uTimeout = GetInt(wire, 416);
    GetText(wire, kInfoTitleOffset, kInfoTitleSize, record.szInfoTitle, decode);
    record.dwInfoFlags = GetInt(wire, 484);
}

NotifyIconRecord MakeNotifyIconRecord(std::int32_t window, std::int32_t icon,
                                      const TrayIconContent& content) {
    NotifyIconRecord record;
    record.cbSize = static_cast<std::int32_t>(kNotifyIconRecordSize);
    record.hWnd = window;
    record.uID = 0;
    record.uFlags = kNotifyIconFlags;
    record.uCallbackMessage = kWmMouseMove;
    record.hIcon = icon;
    record.szTip.Store(content.tip + u'\0');
    if (!content.balloonTitle.empty() || !content.balloonText.empty()) {
        record.szInfoTitle.Store(content.balloonTitle + u'\0');
        record.szInfo.Store(content.balloonText + u'\0');
    }
    return record;
}

NotifyIconRecord ThroughWire(const NotifyIconRecord& record) {
    NotifyIconRecord back = record;
    FromWire(ToWire(record, [](std::u16string_view text) { return TextToUtf8(text); }), back,
             [](std::string_view bytes) { return Utf8ToText(bytes); });
    return back;
}

namespace {

int CallbackNumber(int pixelX, float twipsPerPixelX) {
    const float twips = static_cast<float>(pixelX) * twipsPerPixelX;
    return CInt32(DivideSingle(twips, twipsPerPixelX));
}

std::optional<TrayActivation> ActivationOfNumber(int number) {
    switch (number) {
        case 513:
            return TrayActivation::LeftDown;
        case 514:
            return TrayActivation::LeftUp;
        case 515:
            return TrayActivation::LeftDoubleClick;
        case 516:
            return TrayActivation::RightDown;
        case 517:
            return TrayActivation::RightUp;
        case 518:
            return TrayActivation::RightDoubleClick;
        case kNinKeySelect:
        case kWmContextMenu:
            return TrayActivation::KeyboardSelect;
        default:
            return std::nullopt;  // a plain move (512), NIN_SELECT, any other button
    }
}

}  // namespace

std::optional<TrayActivation> TrayActivationOf(int pixelX, float twipsPerPixelX) {
    return ActivationOfNumber(CallbackNumber(pixelX, twipsPerPixelX));
}

std::optional<TrayActivation> TrayCallbackDecoder::Take(int pixelX, float twipsPerPixelX) {
    const int number = CallbackNumber(pixelX, twipsPerPixelX);
    const bool clicksOwnMenu = afterRightUp_ && number == kWmContextMenu;
    afterRightUp_ = number == 517;
    return clicksOwnMenu ? std::nullopt : ActivationOfNumber(number);
}

}  // namespace velmora::win32
