// The shell's notification-icon record as TrayIcon holds it, and its 488-byte
// ANSI wire form for Shell_NotifyIconA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "core/text.h"

namespace velmora {

// NIF_MESSAGE + NIF_ICON + NIF_TIP + NIF_INFO: every call carries all four,
// so a balloon once set comes back with each later modify.
inline constexpr std::int32_t kNotifyIconFlags = 1 + 2 + 4 + 16;

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

// Fields in wire order; handles are the 32-bit values the logic stores.
struct NotifyIconData {
    std::int32_t cbSize = 0;
    Handle hWnd = 0;
    std::int32_t uID = 0;
    std::int32_t uFlags = 0;
    std::int32_t uCallbackMessage = 0;
    Handle hIcon = 0;
    FixedText<128> szTip;
    std::int32_t dwState = 0;
    std::int32_t dwStateMask = 0;
    FixedText<256> szInfo;
    std::int32_t uTimeout = 0;
    FixedText<64> szInfoTitle;
    std::int32_t dwInfoFlags = 0;
};

// The system's ANSI code page in both directions (Platform::ToAnsi/FromAnsi).
using AnsiEncoder = std::function<std::string(std::u16string_view)>;
using AnsiDecoder = std::function<Text(std::string_view)>;

// The record in a zeroed 488-byte buffer, little-endian. Each text field is
// converted one code point at a time and stops before the first one that no
// longer fits, so a multi-byte character is never split; the text before its
// NUL leaves the field's last byte free, so the shell always finds an end.
NotifyIconWire ToWire(const NotifyIconData& record, const AnsiEncoder& toAnsi);

// After the call: the buffer back into the record, field by field; each text
// field is decoded whole and stored again (cut, padded with spaces).
void FromWire(const NotifyIconWire& wire, NotifyIconData& record, const AnsiDecoder& fromAnsi);

}  // namespace velmora
