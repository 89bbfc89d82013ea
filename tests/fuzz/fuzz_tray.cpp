// The Windows program's tray record and callback decoding on arbitrary
// input: any pixel X and twips per pixel, and the 488-byte form's round trip
// on arbitrary texts.
#include <cstring>

#include "core/errors.h"
#include "fuzz_input.h"
#include "platform/win32/notify_icon_record.h"

using namespace velmora;
using namespace velmora::win32;

namespace {

std::size_t TextBytes(const NotifyIconWire& wire, std::size_t offset, std::size_t size) {
    std::size_t n = 0;
    while (n < size && wire[offset + n] != 0) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 8) {
        std::int32_t x;
        float tpp;
        std::memcpy(&x, data, 4);
        std::memcpy(&tpp, data + 4, 4);
        try {
            // Any twips per pixel that divides cleanly gives the pixel number back.
            const std::optional<TrayActivation> activation = TrayActivationOf(x, tpp);
            if (tpp == 15.0f || tpp == 12.0f || tpp == 7.5f)
                FUZZ_ASSERT(activation.has_value() == (x >= 513 && x <= 518));
        } catch (const RuntimeError& error) {
            FUZZ_ASSERT(error.code() == ErrorCode::Overflow || error.code() == ErrorCode::DivisionByZero);
        }
    }
    // Three texts from the rest, split at NULs.
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    auto [tip, more] = fuzz::SplitAtNul(rest);
    auto [info, title] = fuzz::SplitAtNul(more);
    const NotifyIconRecord record =
        MakeNotifyIconRecord(-2, 7, {Utf8ToText(tip), Utf8ToText(title), fuzz::AsText(info)});
    const NotifyIconWire wire = ToWire(record, [](std::u16string_view t) { return TextToUtf8(t); });
    FUZZ_ASSERT(wire[0] == 0xE8 && wire[1] == 0x01 && wire[4] == 0xFE && wire[7] == 0xFF);
    // Every text field keeps a NUL inside its bytes and holds whole UTF-8 characters.
    for (auto [offset, bytes] : {std::pair<std::size_t, std::size_t>{24, 128}, {160, 256}, {420, 64}}) {
        const std::size_t n = TextBytes(wire, offset, bytes);
        FUZZ_ASSERT(n < bytes);
        FUZZ_ASSERT(IsValidUtf8({reinterpret_cast<const char*>(wire.data() + offset), n}));
    }
    const NotifyIconRecord back = ThroughWire(record);
    FUZZ_ASSERT(back.szTip.Whole().size() == 128 && back.szInfo.Whole().size() == 256 &&
                back.szInfoTitle.Whole().size() == 64);
    FUZZ_ASSERT(back.hWnd == -2 && back.cbSize == 488 && back.hIcon == 7);
    return 0;
}
