// Bytes on the wire per unchanged check, with and without conditional
// requests, against the local test server. A measurement, not a test.
#include <cstdio>
#include <cstdlib>
#include <future>
#include <regex>
#include <string>
#include <utility>

#include "platform/http_fetch.h"
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

long long Total(const std::string& stats) {
    std::smatch in, out;
    std::regex_search(stats, in, std::regex("\"bytesIn\": (\\d+)"));
    std::regex_search(stats, out, std::regex("\"bytesOut\": (\\d+)"));
    return std::stoll(in[1]) + std::stoll(out[1]);
}

// Mean bytes of one unchanged fetch of `path`, after a first full one.
double BytesPerCheck(testing::FeedServer& server, const std::string& path, int checks) {
    Fetch(server.Url(path));
    const std::string statsUrl = server.Url("/stats");
    const long long a = Total(Fetch(statsUrl));
    const long long overhead = Total(Fetch(statsUrl)) - a;  // one /stats exchange
    const long long before = Total(Fetch(statsUrl));
    for (int i = 0; i < checks; ++i) Fetch(server.Url(path));
    const long long after = Total(Fetch(statsUrl));
    return static_cast<double>(after - before - overhead) / checks;
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
    std::printf("bytes on the wire per unchanged check (mean of %d):\n", checks);
    std::printf("  without validators: %.0f\n", BytesPerCheck(server, "/feeds/long_ok.xml", checks));
    std::printf("  with ETag/Last-Modified: %.0f\n", BytesPerCheck(server, "/validated/long_ok.xml", checks));
    return 0;
}
