#include "feed/feed_check.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/arith.h"
#include "core/errors.h"

namespace velmora {
namespace {

struct Marker {
    constexpr Marker(std::u16string_view marker)
        : text(marker), length(static_cast<std::int16_t>(marker.size())) {}
    std::u16string_view text;
    std::int16_t length;
};

constexpr Marker kItem{u"<item>"};
constexpr Marker kPubDate{u"<pubDate>"};
constexpr Marker kPubDateEnd{u"</pubDate>"};
constexpr Marker kTitle{u"<title><![CDATA["};
constexpr Marker kTitleEnd{u"]]></title>"};
constexpr Marker kLink{u"<link>"};
constexpr Marker kLinkEnd{u"</link>"};
constexpr Marker kDescription{u"<description><![CDATA["};
constexpr Marker kDescriptionEnd{u"]]></description>"};

constexpr char16_t kMiddleDot = u'\u00B7';

std::string Quoted(const Marker& marker) {
    return "\"" + TextToUtf8(marker.text) + "\"";
}

// Position of a marker in `text`, with the error naming the marker.
std::int16_t Find(const Text& text, const Marker& marker) {
    try {
        return FindText(text, Text(marker.text));
    } catch (const RuntimeError& error) {
        throw RuntimeError(error.code(), Quoted(marker) + " lies beyond the 16-bit position limit");
    }
}

// The start position of a field: the marker's position plus its length, in 16 bits.
std::int16_t StartAfter(const Text& text, const Marker& marker) {
    std::int16_t position = Find(text, marker);
    try {
        return AddInt16(position, marker.length);
    } catch (const RuntimeError& error) {
        throw RuntimeError(error.code(),
                           "the text after " + Quoted(marker) + " starts beyond the 16-bit position limit");
    }
}

// Where a field lies in the item: `start` just after its opening marker
// (the marker's length when the marker is absent), `end` at its closing
// marker (0 when absent).
struct FieldBounds {
    std::int16_t start, end;
};

FieldBounds Search(const Text& text, const Marker& open, const Marker& close) {
    return {StartAfter(text, open), Find(text, close)};
}

bool HasOpening(const FieldBounds& field, const Marker& open) {
    return field.start > open.length;
}

bool HasClosing(const FieldBounds& field) {
    return field.end > 0;
}

// The characters from the field's start up to its closing marker.
Text Cut(const Text& text, const FieldBounds& field, const Marker& close) {
    std::int32_t count = std::int32_t{field.end} - field.start;
    if (count < 0)
        throw RuntimeError(ErrorCode::InvalidArgument,
                           Quoted(close) + " comes before the start of its field");
    return Mid(text, field.start, count);
}

bool StartsWithAt(const Text& s, std::int64_t i, std::u16string_view marker) {
    auto first = static_cast<std::size_t>(i - 1);
    return s.size() >= first + marker.size() && s.compare(first, marker.size(), marker) == 0;
}

int DigitValue(char16_t c, bool hex) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (hex && c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (hex && c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// The character a reference at the start of `s` (just after its "&") stands
// for, and how many units it takes up to and including its ";".
std::optional<std::pair<char32_t, std::size_t>> ReadReference(std::u16string_view s) {
    static constexpr std::pair<std::u16string_view, char32_t> kEntities[] = {
        {u"amp;", U'&'}, {u"lt;", U'<'}, {u"gt;", U'>'}, {u"quot;", U'"'}, {u"apos;", U'\''}};
    for (const auto& [name, character] : kEntities)
        if (s.substr(0, name.size()) == name) return std::pair{character, name.size()};
    if (s.empty() || s[0] != u'#') return std::nullopt;
    const bool hex = s.size() > 1 && s[1] == u'x';
    std::size_t i = hex ? 2 : 1;
    const std::size_t firstDigit = i;
    char32_t value = 0;
    for (int digit; i < s.size() && (digit = DigitValue(s[i], hex)) >= 0; ++i) {
        value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        if (value > 0x10FFFF) return std::nullopt;
    }
    if (i == firstDigit || i >= s.size() || s[i] != u';') return std::nullopt;
    // Only characters a document may hold: no NUL, no surrogate, no U+FFFE/U+FFFF.
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF) || value == 0xFFFE || value == 0xFFFF)
        return std::nullopt;
    return std::pair{value, i + 1};
}

}  // namespace

Text DecodeCharacterReferences(const Text& text) {
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (auto reference = ReadReference(std::u16string_view(text).substr(i + 1))) {
                AppendCodePoint(out, reference->first);
                i += reference->second;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

const char* Describe(NoNotice reason) {
    switch (reason) {
        case NoNotice::NoItem:
            return "the feed has no \"<item>\"";
        case NoNotice::NoPubDate:
            return "the first item has no \"<pubDate>\"";
        case NoNotice::NoPubDateEnd:
            return "the feed has no \"</pubDate>\" after the first \"<item>\"";
        case NoNotice::Unchanged:
            return "the first item's pubDate equals the last one shown";
        case NoNotice::NoTitle:
            return "no \"<title><![CDATA[\" after the first \"<item>\"";
        case NoNotice::NoTitleEnd:
            return "no \"]]></title>\" after the first \"<item>\"";
        case NoNotice::NoLink:
            return "no \"<link>\" after the first \"<item>\"";
        case NoNotice::NoLinkEnd:
            return "no \"</link>\" after the first \"<item>\"";
        case NoNotice::NoDescription:
            return "no \"<description><![CDATA[\" after the first \"<item>\"";
        case NoNotice::NoDescriptionEnd:
            return "no \"]]></description>\" after the first \"<item>\"";
    }
    return "nothing to show";
}

std::int16_t FindText(const Text& text, const Text& marker) {
    const std::int32_t length = ToInt32(static_cast<std::int64_t>(text.size()));
    for (std::int32_t i = 1; i <= length; i = AddInt32(i, 1)) {
        if (StartsWithAt(text, i, marker)) return ToInt16(i);
    }
    return 0;
}

Text StripMarkup(const Text& text) {
    Text s = text;
    std::int32_t i = 1;
    while (i <= ToInt32(static_cast<std::int64_t>(s.size()))) {
        const auto at = static_cast<std::size_t>(i - 1);
        if (StartsWithAt(s, i, u"[b]")) {
            s.erase(at, 3);
            i = AddInt32(i, 1);
        } else if (StartsWithAt(s, i, u"#183;")) {
            s.replace(at, 5, 1, kMiddleDot);
        } else if (StartsWithAt(s, i, u"[u]") || StartsWithAt(s, i, u"[i]")) {
            s.erase(at, 3);
        }
        i = AddInt32(i, 1);
    }
    return s;
}

FeedOutcome ExamineFeed(const Text& feed, const Text& lastPubDate) {
    const std::int16_t itemStart = StartAfter(feed, kItem);
    if (itemStart <= kItem.length) return NoNotice::NoItem;
    const Text itemText = MidToEnd(feed, itemStart);

    const FieldBounds pubDateField = Search(itemText, kPubDate, kPubDateEnd);
    if (!HasOpening(pubDateField, kPubDate)) return NoNotice::NoPubDate;
    if (!HasClosing(pubDateField)) return NoNotice::NoPubDateEnd;
    Text pubDate = Cut(itemText, pubDateField, kPubDateEnd);
    if (pubDate == lastPubDate) return NoNotice::Unchanged;

    // Every search before any test: a search that overflows must fail the
    // check before any field is tested.
    const FieldBounds title = Search(itemText, kTitle, kTitleEnd);
    const FieldBounds link = Search(itemText, kLink, kLinkEnd);
    const FieldBounds description = Search(itemText, kDescription, kDescriptionEnd);
    if (!HasOpening(title, kTitle)) return NoNotice::NoTitle;
    if (!HasClosing(title)) return NoNotice::NoTitleEnd;
    if (!HasOpening(link, kLink)) return NoNotice::NoLink;
    if (!HasClosing(link)) return NoNotice::NoLinkEnd;
    if (!HasOpening(description, kDescription)) return NoNotice::NoDescription;
    if (!HasClosing(description)) return NoNotice::NoDescriptionEnd;

    FeedItem result;
    result.pubDate = std::move(pubDate);
    result.title = StripMarkup(Cut(itemText, title, kTitleEnd));
    result.link = DecodeCharacterReferences(Cut(itemText, link, kLinkEnd));
    result.description = StripMarkup(Cut(itemText, description, kDescriptionEnd));
    return result;
}

}  // namespace velmora
