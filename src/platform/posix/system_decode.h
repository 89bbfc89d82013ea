// The POSIX side of charset decoding: which legacy code page stands in for
// the Windows "ANSI" one, and how charset names map onto iconv's.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The iconv name of the code page a Windows system with the same locale would
// use for its narrow calls, judged by LC_ALL, LC_CTYPE and LANG in that
// order: zh_CN gives GB18030, zh_TW BIG5-HKSCS, ja CP932, ru WINDOWS-1251 and
// so on; WINDOWS-1252 when nothing more specific applies.
std::string LegacyCodePage();
std::string LegacyCodePageForLocale(std::string_view locale);

// The iconv name to use for a charset label, widened to the superset browsers
// decode it as (Shift_JIS as CP932, EUC-KR as CP949); "" when the label is
// not a plausible charset name.
std::string IconvCharsetName(std::string_view label);

}  // namespace velmora
