#include "platform/posix/system_decode.h"

#include <cstdlib>

#include "feed/charset.h"
#include "platform/common/system_decode.h"
#include "platform/posix/iconv_decoder.h"

namespace velmora {
namespace {

bool IsIn(std::string_view value, std::initializer_list<std::string_view> set) {
    for (std::string_view item : set)
        if (value == item) return true;
    return false;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::string LegacyCodePageForLocale(std::string_view locale) {
    std::string name = Lower(locale.substr(0, locale.find_first_of(".@")));
    std::string_view language = std::string_view(name).substr(0, name.find('_'));
    if (language == "zh") {
        if (name == "zh_tw" || name == "zh_hk" || name == "zh_mo") return "BIG5-HKSCS";
        return "GB18030";
    }
    if (language == "ja") return "CP932";
    if (language == "ko") return "CP949";
    if (language == "th") return "WINDOWS-874";
    if (language == "vi") return "WINDOWS-1258";
    if (language == "el") return "WINDOWS-1253";
    if (language == "tr" || language == "az") return "WINDOWS-1254";
    if (language == "he" || language == "iw" || language == "yi") return "WINDOWS-1255";
    if (IsIn(language, {"ar", "fa", "ur"})) return "WINDOWS-1256";
    if (IsIn(language, {"lt", "lv", "et"})) return "WINDOWS-1257";
    if (IsIn(language, {"ru", "uk", "be", "bg", "mk", "sr", "kk", "ky", "tt", "mn"})) return "WINDOWS-1251";
    if (IsIn(language, {"pl", "cs", "sk", "hu", "sl", "hr", "ro", "sq", "bs"})) return "WINDOWS-1250";
    return "WINDOWS-1252";
}

std::string LegacyCodePage() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return LegacyCodePageForLocale(value);
    }
    return "WINDOWS-1252";
}

std::string IconvCharsetName(std::string_view label) {
    std::string name = CanonicalCharset(label);
    // The name comes from the network: keep it to what charset names are made
    // of, so no iconv suffix such as "//IGNORE" rides along.
    if (name.empty() || name.size() > 40) return "";
    for (char c : name) {
        bool ok =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':';
        if (!ok) return "";
    }
    if (name == "shift_jis" || name == "shift-jis") return "CP932";
    if (IsIn(name, {"euc-kr", "ks_c_5601-1987", "windows-949", "cp949", "ks_c_5601-1989"})) return "CP949";
    if (name == "big5") return "BIG5-HKSCS";
    if (IsIn(name, {"tis-620", "iso-8859-11", "windows-874", "cp874"})) return "WINDOWS-874";
    if (name == "iso-8859-8-i") return "ISO-8859-8";
    return name;
}

std::optional<Text> SystemDecode(std::string_view bytes, std::string_view charset) {
    std::string name = charset.empty() ? LegacyCodePage() : IconvCharsetName(charset);
    if (name.empty()) return std::nullopt;
    // iconv has no character for five of its bytes; browsers read them as C1.
    if (Lower(name) == "windows-1252") return DecodeWindows1252(bytes);
    return IconvDecode(bytes, name);
}

}  // namespace velmora
