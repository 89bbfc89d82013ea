#include "feed/charset.h"

#include <algorithm>
#include <cctype>

#include "platform/platform.h"

namespace velmora {
namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() &&
           (std::isspace(static_cast<unsigned char>(s.front())) || s.front() == '"' || s.front() == '\''))
        s.remove_prefix(1);
    while (!s.empty() &&
           (std::isspace(static_cast<unsigned char>(s.back())) || s.back() == '"' || s.back() == '\''))
        s.remove_suffix(1);
    return s;
}

Text DecodeUtf16(std::string_view bytes, bool bigEndian) {
    Text out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        out.push_back(static_cast<char16_t>((hi << 8) | lo));
    }
    if (bytes.size() % 2) out.push_back(u'\uFFFD');
    return out;
}

Text DecodeUtf32(std::string_view bytes, bool bigEndian) {
    Text out;
    out.reserve(bytes.size() / 4);
    for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
        char32_t cp = 0;
        for (std::size_t k = 0; k < 4; ++k)
            cp = (cp << 8) | static_cast<unsigned char>(bytes[bigEndian ? i + k : i + 3 - k]);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        AppendCodePoint(out, cp);
    }
    if (bytes.size() % 4) out.push_back(u'\uFFFD');
    return out;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// Decoding by the byte-order mark, if there is one.
std::optional<Text> DecodeByBom(std::string_view bytes) {
    if (StartsWith(bytes, "\xEF\xBB\xBF")) return Utf8ToText(bytes.substr(3));
    if (StartsWith(bytes, std::string_view("\xFF\xFE\0\0", 4))) return DecodeUtf32(bytes.substr(4), false);
    if (StartsWith(bytes, std::string_view("\0\0\xFE\xFF", 4))) return DecodeUtf32(bytes.substr(4), true);
    if (StartsWith(bytes, "\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
    if (StartsWith(bytes, "\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
    // UTF-16 without a mark still shows itself by an XML declaration whose
    // ASCII letters come with zero bytes beside them.
    if (StartsWith(bytes, std::string_view("<\0?\0", 4))) return DecodeUtf16(bytes, false);
    if (StartsWith(bytes, std::string_view("\0<\0?", 4))) return DecodeUtf16(bytes, true);
    return std::nullopt;
}

// The byte order of UTF-16 text without a mark, told by where the zero byte
// of its first ASCII character lies; empty when the bytes are not UTF-16.
std::optional<bool> Utf16BigEndian(std::string_view bytes) {
    if (bytes.size() < 2) return std::nullopt;
    if (bytes[0] != 0 && bytes[1] == 0) return false;
    if (bytes[0] == 0 && bytes[1] != 0) return true;
    return std::nullopt;
}

// The same for UTF-32: the first character's three high bytes are zero, or
// at least the top one and the plane byte's high bits.
std::optional<bool> Utf32BigEndian(std::string_view bytes) {
    if (bytes.size() < 4) return std::nullopt;
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (b(3) == 0 && b(2) <= 0x10 && (b(0) | b(1)) != 0) return false;
    if (b(0) == 0 && b(1) <= 0x10 && (b(2) | b(3)) != 0) return true;
    return std::nullopt;
}

std::optional<Text> DecodeNamed(std::string_view bytes, std::string_view declared,
                                const CharsetDecoder& decode) {
    std::string name = CanonicalCharset(declared);
    if (name.empty()) return std::nullopt;
    if (name == "utf-8") return Utf8ToText(bytes);
    if (name == "windows-1252") return DecodeWindows1252(bytes);
    // A UTF-16 or UTF-32 label is believed only when the bytes look like it;
    // on ASCII-compatible bytes (a readable declaration) it is a mislabel.
    if (name == "utf-16" || name == "utf-16le" || name == "utf-16be") {
        if (auto bigEndian = Utf16BigEndian(bytes)) return DecodeUtf16(bytes, *bigEndian);
        return std::nullopt;
    }
    if (name == "utf-32" || name == "utf-32le" || name == "utf-32be") {
        if (auto bigEndian = Utf32BigEndian(bytes)) return DecodeUtf32(bytes, *bigEndian);
        return std::nullopt;
    }
    return decode(bytes, name);
}

}  // namespace

Text DecodeWindows1252(std::string_view bytes) {
    // 0x80 to 0x9F; the five bytes the code page leaves undefined stand for
    // the C1 controls of the same value, as in browsers.
    static constexpr char16_t kHigh[32] = {
        u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
        u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
        u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
        u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178'};
    Text out;
    out.reserve(bytes.size());
    for (unsigned char byte : bytes) out.push_back(byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte);
    return out;
}

std::string CanonicalCharset(std::string_view name) {
    std::string n = Lower(Trim(name));
    if (n == "utf8" || n == "unicode-1-1-utf-8") return "utf-8";
    if (n == "iso-8859-1" || n == "iso8859-1" || n == "latin1" || n == "l1" || n == "us-ascii" ||
        n == "ascii" || n == "iso_8859-1" || n == "cp1252")
        return "windows-1252";
    if (n == "gb2312" || n == "gbk" || n == "cp936" || n == "x-gbk" || n == "euc-cn" || n == "hz-gb-2312")
        return n == "hz-gb-2312" ? n : "gb18030";
    if (n == "big5-hkscs" || n == "x-x-big5") return "big5";
    if (n == "sjis" || n == "x-sjis" || n == "ms_kanji" || n == "windows-31j" || n == "cp932")
        return "shift_jis";
    return n;
}

std::string ContentTypeCharset(std::string_view contentType) {
    // Parameters follow the media type, each "name=value" after a ";".
    std::string_view rest = contentType;
    for (std::size_t semicolon = rest.find(';'); semicolon != std::string_view::npos;
         semicolon = rest.find(';')) {
        rest = rest.substr(semicolon + 1);
        std::string_view parameter = rest.substr(0, std::min(rest.find(';'), rest.size()));
        std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos) continue;
        if (Lower(Trim(parameter.substr(0, equals))) == "charset")
            return std::string(Trim(parameter.substr(equals + 1)));
    }
    return "";
}

std::string XmlDeclaredEncoding(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size() && i < 64 && std::isspace(static_cast<unsigned char>(bytes[i]))) ++i;
    bytes = bytes.substr(i);
    if (!StartsWith(bytes, "<?xml")) return "";
    std::string_view decl = bytes.substr(0, std::min<std::size_t>(bytes.find("?>"), 256));
    std::size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return "";
    std::size_t k = at + 8;
    while (k < decl.size() && (decl[k] == '=' || std::isspace(static_cast<unsigned char>(decl[k])))) ++k;
    if (k >= decl.size() || (decl[k] != '"' && decl[k] != '\'')) return "";
    char quote = decl[k];
    std::size_t end = decl.find(quote, k + 1);
    if (end == std::string_view::npos) return "";
    return std::string(decl.substr(k + 1, end - k - 1));
}

Text DecodeDocument(std::string_view body, std::string_view headerCharset, const CharsetDecoder& decode) {
    if (auto text = DecodeByBom(body)) return *text;
    if (auto text = DecodeNamed(body, headerCharset, decode)) return *text;
    if (auto text = DecodeNamed(body, XmlDeclaredEncoding(body), decode)) return *text;
    if (IsValidUtf8(body)) return Utf8ToText(body);
    if (auto text = decode(body, "")) return *text;
    return Utf8ToText(body);
}

Text DecodeTextFile(std::string_view bytes, const CharsetDecoder& decode) {
    if (auto text = DecodeByBom(bytes)) return *text;
    if (IsValidUtf8(bytes)) return Utf8ToText(bytes);
    if (auto text = decode(bytes, "")) return *text;
    return Utf8ToText(bytes);
}

namespace {
CharsetDecoder PlatformDecoder(Platform& platform) {
    return [&platform](std::string_view bytes, std::string_view charset) {
        return platform.Decode(bytes, charset);
    };
}
}  // namespace

Text DecodeDocument(std::string_view body, std::string_view headerCharset, Platform& platform) {
    return DecodeDocument(body, headerCharset, PlatformDecoder(platform));
}

Text DecodeTextFile(std::string_view bytes, Platform& platform) {
    return DecodeTextFile(bytes, PlatformDecoder(platform));
}

}  // namespace velmora
