// Charset decoding on arbitrary bytes with arbitrary declared charsets.
#include "feed/charset.h"
#include "fuzz_input.h"
#include "platform/posix/iconv_decoder.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto [header, body] = fuzz::SplitAtNul({reinterpret_cast<const char*>(data), size});
    if (header.size() > 64) return 0;
    const Text text = DecodeDocument(body, header, IconvDecode);
    // Nothing is invented: a byte yields at most one code unit in every
    // charset but glibc's TSCII, where one byte spells up to four Tamil code
    // points (a conjunct with its vowel sign), the most any iconv charset does.
    constexpr std::size_t kMostUnitsPerByte = 4;
    FUZZ_ASSERT(text.size() <= kMostUnitsPerByte * body.size() + 1);
    // Bytes without NULs cannot pass for unmarked UTF-16.
    if (IsValidUtf8(body) && body.find('\0') == std::string_view::npos &&
        ContentTypeCharset(header).empty() && header.empty() && XmlDeclaredEncoding(body).empty() &&
        !(body.size() >= 2 && (body.substr(0, 2) == "\xFF\xFE" || body.substr(0, 2) == "\xFE\xFF")) &&
        body.substr(0, 3) != "\xEF\xBB\xBF")
        FUZZ_ASSERT(text == Utf8ToText(body));
    const Text file = DecodeTextFile(body, IconvDecode);
    FUZZ_ASSERT(file.size() <= kMostUnitsPerByte * body.size() + 1);
    return 0;
}
