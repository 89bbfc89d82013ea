#include "platform/fetch/fetch_frame.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace velmora {
namespace {

constexpr std::string_view kMagic = "velmora-fetch 1";
constexpr std::string_view kOk = "ok";
constexpr std::string_view kNotModified = "not-modified";
constexpr std::string_view kFailed = "failed";

void AddLine(std::string& frame, std::string_view name, std::string_view value) {
    frame.append(name).append(": ");
    const std::size_t start = frame.size();
    frame.append(value.substr(0, kMaxFrameValueBytes));
    for (std::size_t i = start; i < frame.size(); ++i)
        if (frame[i] == '\n' || frame[i] == '\r' || frame[i] == '\0') frame[i] = ' ';
    frame.push_back('\n');
}

// Reads the line "NAME: VALUE" at the front of `header`.
bool TakeLine(std::string_view& header, std::string_view name, std::string_view& value) {
    const std::size_t end = header.find('\n');
    if (end == std::string_view::npos) return false;
    std::string_view line = header.substr(0, end);
    header.remove_prefix(end + 1);
    if (line.size() < name.size() + 2 || line.substr(0, name.size()) != name ||
        line.substr(name.size(), 2) != ": ")
        return false;
    value = line.substr(name.size() + 2);
    return value.size() <= kMaxFrameValueBytes;
}

}  // namespace

std::string EncodeFetchFrame(const TransferResult& transfer) {
    static const TransferOutcome kNone;
    const TransferOutcome& outcome = transfer ? transfer.value() : kNone;
    std::string frame;
    frame.append(kMagic).push_back('\n');
    AddLine(frame, "outcome", !transfer ? kFailed : outcome.notModified ? kNotModified : kOk);
    AddLine(frame, "charset", outcome.document.headerCharset);
    AddLine(frame, "etag", outcome.etag);
    AddLine(frame, "last-modified", outcome.lastModified);
    AddLine(frame, "error", transfer ? std::string_view() : std::string_view(transfer.reason()));
    const std::string_view body =
        outcome.notModified ? std::string_view() : std::string_view(outcome.document.body);
    AddLine(frame, "length", std::to_string(body.size()));
    frame.push_back('\n');
    frame.append(body);
    return frame;
}

Result<TransferResult> DecodeFetchFrame(std::string_view bytes) {
    const auto fail = [](std::string why) { return Result<TransferResult>(Failure{std::move(why)}); };
    constexpr std::string_view kGarbled = "the fetch helper's answer is garbled";
    constexpr std::string_view kCutShort = "the fetch helper's answer was cut short";
    if (bytes.empty()) return fail("the fetch helper answered nothing");
    const std::size_t known = std::min(bytes.size(), kMagic.size() + 1);
    if (bytes.substr(0, known) != (std::string(kMagic) + '\n').substr(0, known))
        return fail(std::string(kGarbled));
    const std::size_t headerEnd = bytes.substr(0, kMaxFrameHeaderBytes).find("\n\n");
    if (headerEnd == std::string_view::npos)
        return fail(std::string(bytes.size() < kMaxFrameHeaderBytes ? kCutShort : kGarbled));

    std::string_view header = bytes.substr(kMagic.size() + 1, headerEnd - kMagic.size());
    const std::string_view body = bytes.substr(headerEnd + 2);
    std::string_view kind, charset, etag, lastModified, error, length;
    if (!TakeLine(header, "outcome", kind) || !TakeLine(header, "charset", charset) ||
        !TakeLine(header, "etag", etag) || !TakeLine(header, "last-modified", lastModified) ||
        !TakeLine(header, "error", error) || !TakeLine(header, "length", length) || !header.empty())
        return fail(std::string(kGarbled));
    std::size_t size = 0;
    const auto [end, status] = std::from_chars(length.data(), length.data() + length.size(), size);
    if (length.empty() || status != std::errc() || end != length.data() + length.size())
        return fail(std::string(kGarbled));
    const bool failed = kind == kFailed;
    if ((kind != kOk && kind != kNotModified && !failed) || failed == error.empty() ||
        (kind != kOk && size != 0))
        return fail(std::string(kGarbled));
    if (size > kMaxDocumentBytes)
        return fail("the document is larger than " + std::to_string(kMaxDocumentBytes / (1024 * 1024)) +
                    " MiB");
    if (body.size() < size) return fail(std::string(kCutShort));
    if (body.size() > size) return fail("the fetch helper's answer runs on past its document");

    if (failed) return TransferResult(Failure{std::string(error)});
    TransferOutcome outcome;
    outcome.notModified = kind == kNotModified;
    outcome.etag = etag;
    outcome.lastModified = lastModified;
    outcome.document.headerCharset = charset;
    outcome.document.body = body;
    return TransferResult(std::move(outcome));
}

}  // namespace velmora
