// HTTP bytes each way per unchanged check, with and without conditional
// requests, against the local test server. A measurement, not a test.
#include <cstdio>
#include <cstdlib>
#include <future>
#include <regex>
#include <string>
#include <utility>

#include "platform/fetch/http_fetch.h"
#include "support/feed_server.h"

using namespace velmora;

namespace {

std::string Fetch(const std::string& url) {
    std::promise<void> woken;
    auto request = StartHttpFetch(Utf8ToText(url), [&] { woken.set_value(); });
    woken.get_future().wait();
    Result<FetchedDocument> taken = request->Take();
    if (!taken) {
        std::fprintf(stderr, "%s\n", taken.reason().c_str());
        std::exit(1);
    }
    return std::move(taken->body);
}

struct Bytes {
    long long in = 0;   // the requests, as the server received them
    long long out = 0;  // the answers, as it sent them
};

Bytes Counted(const std::string& stats) {
    std::smatch in, out;
    std::regex_search(stats, in, std::regex("\"bytesIn\": (\\d+)"));
    std::regex_search(stats, out, std::regex("\"bytesOut\": (\\d+)"));
    return {std::stoll(in[1]), std::stoll(out[1])};
}

// Mean bytes each way of one unchanged fetch of `path`, after a first full one.
std::pair<double, double> BytesPerCheck(testing::FeedServer& server, const std::string& path, int checks) {
    Fetch(server.Url(path));
    const std::string statsUrl = server.Url("/stats");
    const Bytes a = Counted(Fetch(statsUrl));
    const Bytes b = Counted(Fetch(statsUrl));
    const Bytes overhead{b.in - a.in, b.out - a.out};  // one /stats exchange
    const Bytes before = Counted(Fetch(statsUrl));
    for (int i = 0; i < checks; ++i) Fetch(server.Url(path));
    const Bytes after = Counted(Fetch(statsUrl));
    return {static_cast<double>(after.in - before.in - overhead.in) / checks,
            static_cast<double>(after.out - before.out - overhead.out) / checks};
}

void Report(const char* what, std::pair<double, double> bytes) {
    std::printf("  %-26s %6.0f to the site, %6.0f back, %6.0f in all\n", what, bytes.first, bytes.second,
                bytes.first + bytes.second);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FEED_SERVER_PY FEEDS_DIR\n", argv[0]);
        return 2;
    }
    setenv("no_proxy", "127.0.0.1", 1);
    testing::FeedServer server(argv[1], argv[2]);
    const int checks = 20;
    const std::size_t feedSize = Fetch(server.Url("/feeds/long_ok.xml")).size();
    std::printf("HTTP bytes per unchanged check of a %zu-byte feed (mean of %d):\n", feedSize, checks);
    Report("without validators:", BytesPerCheck(server, "/feeds/long_ok.xml", checks));
    Report("with ETag/Last-Modified:", BytesPerCheck(server, "/validated/long_ok.xml", checks));
    return 0;
}
