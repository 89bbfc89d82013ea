// A fetch under test against a fresh local feed server: starting, waiting,
// taking a document or a failure, and the feed files to compare with.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/feed_server.h"
#include "support/fetch_wakes.h"

namespace velmora::testing {

// This process's children named velmora-fetch, zombies included.
inline std::vector<pid_t> HelperChildren() {
    std::vector<pid_t> found;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream file(entry.path() / "stat");
        std::string stat;
        std::getline(file, stat);
        // "PID (COMM) STATE PPID ...": COMM may hold anything, so from the last ')'.
        const std::size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        char state = 0;
        long parent = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &parent) != 2) continue;
        if (parent == getpid() && stat.substr(open + 1, close - open - 1) == "velmora-fetch")
            found.push_back(std::stoi(name));
    }
    return found;
}

class FetchFixture : public ::testing::Test {
protected:
    void SetUp() override {
        // The server is local; a proxy from the environment must not take it.
        setenv("no_proxy", "127.0.0.1", 1);
        setenv("NO_PROXY", "127.0.0.1", 1);
        server_ = StartServer();
    }

    virtual std::unique_ptr<FetchRequest> StartAt(const std::string& url) = 0;

    std::unique_ptr<FetchRequest> Start(const std::string& path) { return StartAt(server_->Url(path)); }

    void AwaitWake(FetchRequest& request, std::chrono::seconds limit = std::chrono::seconds(40)) {
        wakes_.Await(request, limit);
    }

    FetchedDocument GetAt(const std::string& url) {
        auto request = StartAt(url);
        AwaitWake(*request);
        return TakeDocument(*request);
    }
    FetchedDocument Get(const std::string& path) { return GetAt(server_->Url(path)); }

    // Why a fetch that must fail failed.
    std::string ReasonAt(const std::string& url) {
        auto request = StartAt(url);
        AwaitWake(*request);
        return TakeFailure(*request, url);
    }
    std::string Reason(const std::string& path) { return ReasonAt(server_->Url(path)); }

    static std::unique_ptr<FeedServer> StartServer(const std::string& certificate = "",
                                                   const std::string& key = "") {
        return std::make_unique<FeedServer>(SupportFile("feed_server.py"), VELMORA_TEST_DATA "/feeds",
                                            certificate, key);
    }

    static std::string SupportFile(const std::string& name) {
        return VELMORA_TEST_DATA "/../support/" + name;
    }

    static std::string FeedFile(const std::string& name) {
        std::ifstream file(VELMORA_TEST_DATA "/feeds/" + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    std::unique_ptr<FeedServer> server_;
    FetchWakes wakes_;
};

}  // namespace velmora::testing
