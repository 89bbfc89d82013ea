#include "platform/fetch/http_inflate.h"

#include <zlib.h>

#include "platform/fetch/http_fetch.h"

namespace velmora {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// zlib's windowBits pick the wrapping: gzip, zlib or none.
Result<std::string> Inflate(const std::string& packed, int windowBits) {
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK) return Failure{"the document could not be inflated"};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    std::string document;
    char buffer[65536];
    int status = Z_OK;
    while (status == Z_OK && document.size() <= kMaxDocumentBytes) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof(buffer);
        status = inflate(&stream, Z_NO_FLUSH);
        document.append(buffer, sizeof(buffer) - stream.avail_out);
    }
    inflateEnd(&stream);
    if (document.size() > kMaxDocumentBytes) return Failure{"the document is larger than 16 MiB"};
    // Out of input before the stream's end: the answer was cut short.
    if (status == Z_BUF_ERROR) return Failure{"the compressed document ends before its end"};
    if (status != Z_STREAM_END) return Failure{"the compressed document is damaged"};
    return document;
}

}  // namespace

Result<std::string> DecodeContent(std::string body, std::string_view encoding) {
    encoding = Trimmed(encoding);
    if (encoding.empty() || EqualsNoCase(encoding, "identity")) return body;
    if (EqualsNoCase(encoding, "gzip") || EqualsNoCase(encoding, "x-gzip"))
        return Inflate(body, 16 + MAX_WBITS);
    if (EqualsNoCase(encoding, "deflate")) {
        // Meant as zlib-wrapped, sent by some servers as bare deflate.
        Result<std::string> wrapped = Inflate(body, MAX_WBITS);
        return wrapped ? std::move(wrapped) : Inflate(body, -MAX_WBITS);
    }
    return Failure{"the document came in an encoding that was not asked for (" + std::string(encoding) + ")"};
}

}  // namespace velmora
