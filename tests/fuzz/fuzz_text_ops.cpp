// The markup clean-up, character references and the configuration file's first item on arbitrary text.
#include "app/read_first_item.h"
#include "feed/feed_check.h"
#include "fuzz_input.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text text = fuzz::AsText({reinterpret_cast<const char*>(data), size});
    const Text cleaned = StripMarkup(text);
    // Markers only ever shrink or are replaced by one character.
    FUZZ_ASSERT(cleaned.size() <= text.size());
    if (text.find_first_of(u"[#") == Text::npos) FUZZ_ASSERT(cleaned == text);

    const Text decoded = DecodeCharacterReferences(text);
    FUZZ_ASSERT(decoded.size() <= text.size());
    if (text.find(u'&') == Text::npos) FUZZ_ASSERT(decoded == text);

    const auto item = ReadFirstItem(text);
    FUZZ_ASSERT(item.has_value() == !text.empty());
    if (item) {
        FUZZ_ASSERT(text.find(*item) != Text::npos);
        const bool quoted =
            text.find_first_not_of(u" \t") != Text::npos && text[text.find_first_not_of(u" \t")] == u'"';
        if (!quoted) FUZZ_ASSERT(item->find_first_of(u",\r\n") == Text::npos);
    }
    return 0;
}
