// The WinINet fetch follows redirects itself: an https answer never hands
// the check on to plain http, whatever the letter case of the scheme.
#include "platform/win32/redirect_rule.h"

#include <gtest/gtest.h>

namespace velmora::win32 {
namespace {

TEST(RedirectRule, RefusesOnlyHttpsToAnythingElse) {
    EXPECT_TRUE(IsRedirectDowngrade(u"https://feeds.example/rss", u"http://feeds.example/rss"));
    EXPECT_TRUE(IsRedirectDowngrade(u"HTTPS://feeds.example/rss", u"Http://other.example/"));
    EXPECT_TRUE(IsRedirectDowngrade(u"https://feeds.example/rss", u"ftp://feeds.example/rss"));
    EXPECT_FALSE(IsRedirectDowngrade(u"https://feeds.example/rss", u"HTTPS://feeds.example/new"));
    EXPECT_FALSE(IsRedirectDowngrade(u"http://feeds.example/rss", u"https://feeds.example/rss"));
    EXPECT_FALSE(IsRedirectDowngrade(u"http://feeds.example/rss", u"http://feeds.example/new"));
}

}  // namespace
}  // namespace velmora::win32
