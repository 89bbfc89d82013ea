// A started program on the fake platform, and feed texts to serve it.
#pragma once

#include <memory>
#include <string>

#include "app/main_window.h"
#include "fake/fake_platform.h"
#include "popup/notice_popup.h"

namespace velmora::testing {

inline constexpr char16_t kBaseUrl[] = u"http://feeds.example/";

// A feed (UTF-8) whose first item has these fields.
inline std::string FeedWith(const std::string& pubDate, const std::string& title = "Title",
                            const std::string& link = "http://news.example/1",
                            const std::string& description = "Text") {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel><title>Site</title>"
           "<link>http://news.example/</link><item><title><![CDATA[" +
           title + "]]></title><link>" + link + "</link><description><![CDATA[" + description +
           "]]></description><pubDate>" + pubDate + "</pubDate></item></channel></rss>";
}

inline FetchScript Serve(const std::string& body, std::int64_t delayMs = 0) {
    FetchScript script;
    script.body = body;
    script.delayMs = delayMs;
    return script;
}

inline FetchScript Failure() {
    FetchScript script;
    script.fail = true;
    return script;
}

struct AppHarness {
    FakePlatform fake;
    std::unique_ptr<MainWindow> main;

    AppHarness() { fake.SetFile(u"urls.txt", "news/rss.xml\r\n"); }

    void Start() {
        main = std::make_unique<MainWindow>(fake, kBaseUrl);
        fake.RunEvent([&] { main->Load(); });
    }
    // Starts with the first check serving `feed`; later checks fail unless queued.
    void StartWith(const std::string& feed) {
        fake.QueueFetch(Serve(feed));
        Start();
    }
    // Starts with a first item that links to `link`, then clicks its details link.
    void StartAndOpenDetails(const std::string& link) {
        StartWith(FeedWith("D1", "Title", link));
        fake.Click(WindowKind::Popup, Control::DetailsLink);
    }
    FakeWindow* Popup() const { return fake.Window(WindowKind::Popup); }
    NoticePopup& Notice() const { return *main->Popup(); }
    int Shows() const {
        int n = 0;
        for (const auto& entry : fake.log) n += entry == "Show Popup";
        return n;
    }
};

}  // namespace velmora::testing
