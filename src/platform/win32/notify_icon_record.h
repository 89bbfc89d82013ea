// The shell's notification-icon record as the program fills it, and its
// 488-byte narrow form: the texts pass through that form on every call, so
// what the shell shows is cut where the narrow form cuts it. Free of
// Windows headers so that any machine's tests can check it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/text.h"
#include "platform/platform.h"

namespace velmora::win32 {

inline constexpr std::size_t kNotifyIconRecordSize = 488;
using NotifyIconWire = std::array<std::uint8_t, kNotifyIconRecordSize>;

// Shell_NotifyIcon's messages.
inline constexpr std::uint32_t kNimAdd = 0, kNimModify = 1, kNimDelete = 2, kNimSetVersion = 4;
// The version that reports the keyboard: Enter or Space on the chosen icon
// (NIN_KEYSELECT) and the context-menu key (WM_CONTEXTMENU). It also follows
// a left click with NIN_SELECT and a right click with WM_CONTEXTMENU.
inline constexpr std::uint32_t kNotifyIconVersion = 3;
inline constexpr int kNinSelect = 0x400, kNinKeySelect = 0x401, kWmContextMenu = 0x7B;
// NIF_MESSAGE + NIF_ICON + NIF_TIP + NIF_INFO: every call carries all four,
// so a balloon once set comes back with each later modify.
inline constexpr std::int32_t kNifInfo = 16;
inline constexpr std::int32_t kNotifyIconFlags = 1 + 2 + 4 + kNifInfo;
// The callback comes as a mouse move to the picture box.
inline constexpr std::int32_t kWmMouseMove = 512;

// A fixed-length text of N 16-bit characters: NULs until first stored into.
template <std::size_t N>
class FixedText {
public:
    static constexpr std::size_t kLength = N;
    FixedText() : chars_(N, u'\0') {}
    // At the start of the field, cut at its length, the rest spaces. The cut
    // keeps surrogate pairs whole; a half pair would only turn into '?'.
    void Store(const Text& text) {
        chars_ = LeftWholeChars(text, N);
        chars_.resize(N, u' ');
    }
    const Text& Whole() const { return chars_; }
    // What the shell reads of the field: the text up to its first NUL.
    Text Shown() const { return chars_.substr(0, chars_.find(u'\0')); }

private:
    Text chars_;
};

// Fields in wire order. Window and icon handles carry 32 significant bits;
// 64-bit Windows sign-extends them.
struct NotifyIconRecord {
    std::int32_t cbSize = 0;
    std::int32_t hWnd = 0;
    std::int32_t uID = 0;
    std::int32_t uFlags = 0;
    std::int32_t uCallbackMessage = 0;
    std::int32_t hIcon = 0;
    FixedText<128> szTip;
    std::int32_t dwState = 0;
    std::int32_t dwStateMask = 0;
    FixedText<256> szInfo;
    std::int32_t uTimeout = 0;
    FixedText<64> szInfoTitle;
    std::int32_t dwInfoFlags = 0;
};

// The icon of `window` showing `icon`, with the content's tip and, once its
// title or text is set, its balloon.
NotifyIconRecord MakeNotifyIconRecord(std::int32_t window, std::int32_t icon, const TrayIconContent& content);

using NarrowEncoder = std::function<std::string(std::u16string_view)>;
using NarrowDecoder = std::function<Text(std::string_view)>;

// The record in a zeroed 488-byte buffer, little-endian. Each text field is
// converted one code point at a time and stops before the first one that no
// longer fits, so a multi-byte character is never split; the text before its
// NUL leaves the field's last byte free, so the shell always finds an end.
NotifyIconWire ToWire(const NotifyIconRecord& record, const NarrowEncoder& encode);

// The buffer back into the record, field by field; each text field is
// decoded whole and stored again (cut, padded with spaces).
void FromWire(const NotifyIconWire& wire, NotifyIconRecord& record, const NarrowDecoder& decode);

// The record as the shell gets it: through the narrow form in UTF-8, which
// loses no character but cuts each text at its field's size in bytes.
NotifyIconRecord ThroughWire(const NotifyIconRecord& record);

// The mouse message that the picture box takes for a move to `pixelX`,
// turned back the way the picture box's twips give it: the screen's twips
// per pixel out and in again, rounded half to even. The six button messages
// and the keyboard's two are activations; nothing else is.
std::optional<TrayActivation> TrayActivationOf(int pixelX, float twipsPerPixelX);

// The shell's callbacks for one icon, in the order they come: the
// WM_CONTEXTMENU that follows a right button's release belongs to that
// click, which has already asked its question, so it raises nothing.
class TrayCallbackDecoder {
public:
    std::optional<TrayActivation> Take(int pixelX, float twipsPerPixelX);

private:
    bool afterRightUp_ = false;
};

}  // namespace velmora::win32
