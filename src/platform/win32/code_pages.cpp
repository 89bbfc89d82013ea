// Charset names to Windows code pages, and decoding through
// MultiByteToWideChar.
#include <algorithm>
#include <cctype>
#include <string>

#include "feed/charset.h"
#include "platform/common/system_decode.h"
#include "platform/win32/win32_api.h"

namespace velmora {
namespace {

struct NamedCodePage {
    const char* name;
    UINT codePage;
    // Used where the first is not installed: GB18030 is missing from some
    // systems (Wine among them), and GBK decodes all but its four-byte
    // sequences the same way.
    UINT fallback = 0;
};

// Names as the core's charset rules canonicalise them, plus common aliases.
constexpr NamedCodePage kCodePages[] = {
    {"utf-8", CP_UTF8},     {"gb18030", 54936, 936}, {"gbk", 936},
    {"gb2312", 936},        {"cp936", 936},          {"x-gbk", 936},
    {"euc-cn", 936},        {"hz-gb-2312", 52936},   {"big5", 950},
    {"big5-hkscs", 950},    {"shift_jis", 932},      {"euc-jp", 20932},
    {"iso-2022-jp", 50220}, {"euc-kr", 949},         {"ks_c_5601-1987", 949},
    {"windows-949", 949},   {"iso-8859-1", 28591},   {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},  {"iso-8859-4", 28594},   {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},  {"iso-8859-7", 28597},   {"iso-8859-8", 28598},
    {"iso-8859-9", 28599},  {"iso-8859-13", 28603},  {"iso-8859-15", 28605},
    {"windows-874", 874},   {"tis-620", 874},        {"windows-1250", 1250},
    {"windows-1251", 1251}, {"windows-1252", 1252},  {"windows-1253", 1253},
    {"windows-1254", 1254}, {"windows-1255", 1255},  {"windows-1256", 1256},
    {"windows-1257", 1257}, {"windows-1258", 1258},  {"koi8-r", 20866},
    {"koi8-u", 21866},      {"ibm866", 866},         {"cp866", 866},
    {"macintosh", 10000},   {"us-ascii", 20127},
};

// The installed code page for a charset name, if any.
std::optional<UINT> CodePageOf(std::string_view charset) {
    if (charset.empty()) return CP_ACP;
    std::string name(charset);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& entry : kCodePages) {
        if (name != entry.name) continue;
        if (IsValidCodePage(entry.codePage)) return entry.codePage;
        if (entry.fallback && IsValidCodePage(entry.fallback)) return entry.fallback;
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Text> SystemDecode(std::string_view bytes, std::string_view charset) {
    std::optional<UINT> codePage = CodePageOf(charset);
    if (!codePage) return std::nullopt;
    // Read as browsers do, whatever this system's table makes of its five
    // undefined bytes.
    if (*codePage == 1252 || (*codePage == CP_ACP && GetACP() == 1252)) return DecodeWindows1252(bytes);
    if (bytes.empty()) return Text();
    const int size = static_cast<int>(bytes.size());
    int length = MultiByteToWideChar(*codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(*codePage, 0, bytes.data(), size, wide.data(), length);
    return win32::FromWide(wide.data(), wide.size());
}

}  // namespace velmora
