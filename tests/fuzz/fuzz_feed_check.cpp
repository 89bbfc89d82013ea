// The feed check's text logic on arbitrary feeds and last pubDates.
#include <variant>

#include "core/errors.h"
#include "feed/feed_check.h"
#include "fuzz_input.h"
#include "popup/notice_popup.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto [last, feedBytes] = fuzz::SplitAtNul({reinterpret_cast<const char*>(data), size});
    const Text lastPubDate = Utf8ToText(last);
    const Text feed = fuzz::AsText(feedBytes);
    try {
        FeedOutcome outcome = ExamineFeed(feed, lastPubDate);
        if (auto* item = std::get_if<FeedItem>(&outcome)) {
            FUZZ_ASSERT(item->pubDate != lastPubDate);
            FUZZ_ASSERT(feed.find(item->pubDate) != Text::npos);
            // Only references change the link, and each only shrinks.
            FUZZ_ASSERT(item->link.size() <= feed.size());
            if (feed.find(u'&') == Text::npos) FUZZ_ASSERT(feed.find(item->link) != Text::npos);
            FUZZ_ASSERT(item->title.size() <= feed.size() && item->description.size() <= feed.size());
            const Text title = TitleCaption(item->title);
            const Text text = TextCaption(item->description);
            FUZZ_ASSERT(fuzz::IsWholeCut(item->title, title, 14));
            FUZZ_ASSERT(fuzz::IsWholeCut(item->description, text, 125));
        } else if (std::get<NoNotice>(outcome) == NoNotice::NoItem) {
            FUZZ_ASSERT(feed.find(u"<item>") == Text::npos || feed.find(u"<item>") >= 32761);
        }
    } catch (const RuntimeError& error) {
        FUZZ_ASSERT(error.code() == ErrorCode::Overflow || error.code() == ErrorCode::InvalidArgument);
    }
    return 0;
}
