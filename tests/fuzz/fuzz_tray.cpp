// The tray callback's decoding on arbitrary X and twips-per-pixel, and the
// record's wire form round trip on arbitrary texts.
#include <cstring>

#include "fuzz_input.h"
#include "core/arith.h"
#include "core/errors.h"
#include "tray/notify_icon_data.h"

using namespace velmora;

namespace {

std::int32_t Decode(float x, float twipsPerPixel) {
    return CInt32(DivideSingle(x, twipsPerPixel));
}

std::size_t TextBytes(const NotifyIconWire& wire, std::size_t offset, std::size_t size) {
    std::size_t n = 0;
    while (n < size && wire[offset + n] != 0) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 8) {
        float x, tpp;
        std::memcpy(&x, data, 4);
        std::memcpy(&tpp, data + 4, 4);
        try {
            const std::int32_t n = Decode(x, tpp);
            // Whatever decodes is the nearest integer to the quotient.
            const double q = static_cast<double>(DivideSingle(x, tpp));
            FUZZ_ASSERT(q - 0.5 <= n && n <= q + 0.5);
        } catch (const RuntimeError& error) {
            FUZZ_ASSERT(error.code() == ErrorCode::Overflow || error.code() == ErrorCode::DivisionByZero);
        }
    }
    // Three texts from the rest, split at NULs.
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    auto [tip, more] = fuzz::SplitAtNul(rest);
    auto [info, title] = fuzz::SplitAtNul(more);
    NotifyIconData record;
    record.cbSize = 488;
    record.hWnd = -2;
    record.szTip.Store(Utf8ToText(tip) + u'\0');
    record.szInfo.Store(fuzz::AsText(info) + u'\0');
    record.szInfoTitle.Store(Utf8ToText(title) + u'\0');
    const NotifyIconWire wire = ToWire(record, [](std::u16string_view t) { return TextToUtf8(t); });
    FUZZ_ASSERT(wire[0] == 0xE8 && wire[1] == 0x01 && wire[4] == 0xFE && wire[7] == 0xFF);
    // Every text field keeps a NUL inside its bytes and holds whole UTF-8 characters.
    for (auto [offset, bytes] : {std::pair<std::size_t, std::size_t>{24, 128}, {160, 256}, {420, 64}}) {
        const std::size_t n = TextBytes(wire, offset, bytes);
        FUZZ_ASSERT(n < bytes);
        FUZZ_ASSERT(IsValidUtf8({reinterpret_cast<const char*>(wire.data() + offset), n}));
    }
    NotifyIconData back = record;
    FromWire(wire, back, [](std::string_view b) { return Utf8ToText(b); });
    FUZZ_ASSERT(back.szTip.Whole().size() == 128 && back.szInfo.Whole().size() == 256 &&
                back.szInfoTitle.Whole().size() == 64);
    FUZZ_ASSERT(back.hWnd == -2 && back.cbSize == 488);
    return 0;
}
