// The feed check's text logic: the first item of a feed found by fixed
// markers, decided new or not by its pubDate, its fields cut and cleaned.
// Plain logic on texts; it uses no platform service.
#pragma once

#include <cstdint>
#include <variant>

#include "core/text.h"

namespace velmora {

struct FeedItem {
    Text pubDate, title, link, description;
};

// Why a check that raised no error shows nothing.
enum class NoNotice {
    NoItem,            // no "<item>"
    NoPubDate,         // "<pubDate>" missing
    NoPubDateEnd,      // "</pubDate>" missing
    Unchanged,         // pubDate equals the last one shown
    NoTitle,           // "<title><![CDATA[" missing
    NoTitleEnd,        // "]]></title>" missing
    NoLink,            // "<link>" missing
    NoLinkEnd,         // "</link>" missing
    NoDescription,     // "<description><![CDATA[" missing
    NoDescriptionEnd,  // "]]></description>" missing
};

const char* Describe(NoNotice reason);

using FeedOutcome = std::variant<FeedItem, NoNotice>;

// 1-based position of the first occurrence of `marker` in `text`, 0 when
// absent. A match beyond 32767 is an overflow error.
std::int16_t FindText(const Text& text, const Text& marker);

// Removes "[b]", "[u]", "[i]" and turns "#183;" into a middle dot, in one pass
// from the left. The character that moves into a removed marker's place is
// not looked at again, nor after "[b]" the one behind it: "[u][i]x" keeps its
// "[i]" and "[b][b]x" its second "[b]".
Text StripMarkup(const Text& text);

// Decodes the five predefined entities ("&amp;" and the like) and numeric
// character references ("&#38;", "&#x26;") in one pass; whatever else starts
// with "&" stays as written. For the link, which is element content: title
// and description are CDATA, where "&amp;" means itself.
Text DecodeCharacterReferences(const Text& text);

// Finds the first item of `feed` and decides by `lastPubDate` whether it is
// shown. Position overflows and end markers before their field raise errors.
// The link comes with its character references decoded.
FeedOutcome ExamineFeed(const Text& feed, const Text& lastPubDate);

}  // namespace velmora
