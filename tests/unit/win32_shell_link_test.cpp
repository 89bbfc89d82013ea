// What the Windows program hands ShellExecuteW for a feed's link: the core's
// judgement first, then the adapter's encoding.
#include <gtest/gtest.h>

#include "fake/app_harness.h"
#include "platform/win32/shell_link.h"

namespace velmora::testing {
namespace {

TEST(WindowsLinkLaunch, HostileLinksReachTheShellPercentEncoded) {
    struct Case {
        std::string link;
        Text passed;
    };
    const Case cases[] = {
        {"http://a.example/\" --new-window \"x", u"http://a.example/%22%20--new-window%20%22x"},
        {"http://a.example/`|^<>{}\\", u"http://a.example/%60%7C%5E%3C%3E%7B%7D%5C"},
        {"http://a.example/%41%zz%4g%PATH%", u"http://a.example/%41%25zz%254g%25PATH%25"},
        {"https://a.example/新闻?q=é#f#g😀",
         u"https://a.example/%E6%96%B0%E9%97%BB?q=%C3%A9#f%23g%F0%9F%98%80"},
        {"http://u@[::1]:80/p[1]?a'b!$&()*+,;=:@~-._", u"http://u@[::1]:80/p[1]?a'b!$&()*+,;=:@~-._"},
        {"\n  https://a.example/a b\n", u"https://a.example/a%20b"},
    };
    for (const auto& c : cases) {
        AppHarness app;
        app.StartAndOpenDetails(c.link);
        ASSERT_EQ(app.fake.openedLinks.size(), 1u) << c.link;
        EXPECT_EQ(win32::EncodeLinkForShell(app.fake.openedLinks[0]), c.passed) << c.link;
    }
}

}  // namespace
}  // namespace velmora::testing
