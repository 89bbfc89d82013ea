// Turning fetched bytes into text: by the byte-order mark, then the declared
// charset (HTTP header, then XML declaration), then UTF-8 when the bytes are
// valid UTF-8, else the system's legacy code page.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/text.h"

namespace velmora {

class Platform;

// Decodes bytes in a named charset (empty name: the system's legacy code
// page); empty result when the charset is unknown.
using CharsetDecoder = std::function<std::optional<Text>(std::string_view bytes, std::string_view charset)>;

// The charset an XML declaration at the start of `bytes` names, or "".
std::string XmlDeclaredEncoding(std::string_view bytes);
// The charset parameter of a Content-Type header value, or "".
std::string ContentTypeCharset(std::string_view contentType);
// Lower-case canonical name; aliases that browsers treat as supersets are
// widened (latin1 and ascii to windows-1252, gb2312 and gbk to gb18030).
std::string CanonicalCharset(std::string_view name);

// windows-1252 as browsers read it (also for ISO-8859-1 and ASCII labels):
// every byte is a character, the five undefined ones the C1 controls.
Text DecodeWindows1252(std::string_view bytes);

Text DecodeDocument(std::string_view body, std::string_view headerCharset, const CharsetDecoder& decode);
Text DecodeDocument(std::string_view body, std::string_view headerCharset, Platform& platform);

// A local text file: byte-order mark, then UTF-8, then the legacy code page.
Text DecodeTextFile(std::string_view bytes, const CharsetDecoder& decode);
Text DecodeTextFile(std::string_view bytes, Platform& platform);

}  // namespace velmora
