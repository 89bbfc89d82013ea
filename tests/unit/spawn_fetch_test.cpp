// What only the fetch through the velmora-fetch helper process is asked:
// stand-in helpers that misbehave, and where the helper is looked for.
#include "platform/posix/spawn_fetch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/fetch_fixture.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

class SpawnFetch : public ::testing::Test {
protected:
    std::unique_ptr<FetchRequest> StartWith(const std::string& helper, const std::string& url,
                                            milliseconds limit = kFetchHelperTimeLimit) {
        return StartSpawnFetch(Utf8ToText(url), wakes_.Reset(), helper, cache_, limit);
    }

    void AwaitWake(FetchRequest& request) { wakes_.Await(request); }

    FetchedDocument GetWith(const std::string& helper, const std::string& url) {
        auto request = StartWith(helper, url);
        AwaitWake(*request);
        return testing::TakeDocument(*request);
    }

    std::string ReasonWith(const std::string& helper, const std::string& url,
                           milliseconds limit = kFetchHelperTimeLimit) {
        auto request = StartWith(helper, url, limit);
        AwaitWake(*request);
        return testing::TakeFailure(*request, url);
    }

    int Wakes() { return wakes_.Count(); }

    ValidatorCache cache_;
    testing::FetchWakes wakes_;
};

// Stand-in helpers: shell scripts in a scratch folder.
class MisbehavingHelper : public SpawnFetch {
protected:
    void SetUp() override {
        std::string folder = (fs::temp_directory_path() / "velmora-helper-XXXXXX").string();
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        folder_ = folder;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Script(const std::string& name, const std::string& body) {
        const fs::path path = folder_ / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    std::string Reason(const std::string& body, milliseconds limit = kFetchHelperTimeLimit) {
        return ReasonWith(Script("helper", body), "http://127.0.0.1:9/feed.xml", limit);
    }

    fs::path folder_;
};

TEST_F(MisbehavingHelper, DeathsExitStatusesAndBadAnswersAreFailures) {
    const std::string frame =
        "printf 'velmora-fetch 1\\noutcome: ok\\ncharset: \\netag: \\nlast-modified: "
        "\\nerror: \\nlength: 9\\n\\n";
    const struct {
        std::string script, reason;
    } cases[] = {
        {"kill -9 $$", "ended by signal 9"},
        {frame + "<rss/>'; exit 3", "exit status 3"},
        {"echo '<html>not a frame</html>'", "garbled"},
        {frame + "<rss/>'", "cut short"},
        {frame + "<rss/>...more'", "past its document"},
        {"exit 0", "answered nothing"},
        {"head -c 17000000 /dev/zero", "larger than 16 MiB"},
    };
    for (const auto& c : cases) {
        const std::string reason = Reason(c.script);
        EXPECT_NE(reason.find("could not fetch http://127.0.0.1:9/feed.xml: "), std::string::npos) << reason;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.script << ": " << reason;
    }
    EXPECT_TRUE(testing::HelperChildren().empty());
}

TEST_F(MisbehavingHelper, AHelperThatHangsIsKilledAtTheTimeLimit) {
    // Silent throughout, or done talking but never ending: the limit is for its whole life.
    for (const char* script : {"exec sleep 60", "printf 'velmora-fetch 1\\n'; exec >&-; exec sleep 60"}) {
        const auto start = steady_clock::now();
        const std::string reason = Reason(script, milliseconds(300));
        EXPECT_NE(reason.find("timed out"), std::string::npos) << script << ": " << reason;
        EXPECT_LT(steady_clock::now() - start, seconds(10)) << script;
    }
    EXPECT_TRUE(testing::HelperChildren().empty());
}

TEST_F(MisbehavingHelper, AnExitStatusThatCannotBeLearntIsAFailure) {
    // A parent may start the program with SIGCHLD ignored: the helper is then
    // reaped by the system and its exit status is lost.
    const auto previous = signal(SIGCHLD, SIG_IGN);
    const std::string reason = Reason(
        "printf 'velmora-fetch 1\\noutcome: ok\\ncharset: \\netag: \\nlast-modified: "
        "\\nerror: \\nlength: 9\\n\\n<rss/>...'; exit 3");
    signal(SIGCHLD, previous);
    EXPECT_NE(reason.find("fetch helper"), std::string::npos) << reason;
}

TEST_F(MisbehavingHelper, TheHelperGetsTheUrlAndConditionalHeadersAndNoOtherDescriptor) {
    // A descriptor without close-on-exec, as a library of the program might hold.
    const int null = open("/dev/null", O_RDONLY);
    const int stray = dup2(null, 100);
    close(null);
    ASSERT_EQ(stray, 100);
    cache_.Remember("http://127.0.0.1:9/feed.xml", "\"e1\"", "", {"<rss>remembered</rss>", ""});
    const std::string helper = Script("helper", R"sh(
report="$1|$2|$3|$(readlink /proc/$$/fd/0)|$(readlink /proc/$$/fd/2)"
[ -e /proc/$$/fd/100 ] && report="$report|fd 100 leaked"
printf 'velmora-fetch 1\noutcome: ok\ncharset: \netag: \nlast-modified: \nerror: \nlength: %d\n\n%s' \
    "${#report}" "$report")sh");
    const FetchedDocument document = GetWith(helper, "http://127.0.0.1:9/feed.xml");
    close(stray);
    EXPECT_EQ(document.body, "http://127.0.0.1:9/feed.xml|If-None-Match: \"e1\"||/dev/null|/dev/null");
}

TEST(FetchHelperLookup, BesideTheProgramFirstThenInLibexec) {
    std::string scratch = (fs::temp_directory_path() / "velmora-layout-XXXXXX").string();
    ASSERT_NE(mkdtemp(scratch.data()), nullptr);
    const fs::path root = scratch, bin = root / "bin", libexec = root / "libexec" / "velmora";
    fs::create_directories(bin);
    fs::create_directories(libexec);
    const auto place = [](const fs::path& path, fs::perms perms) {
        std::ofstream(path) << "#!/bin/sh\n";
        fs::permissions(path, perms);
    };

    EXPECT_EQ(FindFetchHelperFrom(bin.string()), "");
    place(libexec / "velmora-fetch", fs::perms::owner_all);
    EXPECT_EQ(FindFetchHelperFrom(bin.string()), (libexec / "velmora-fetch").string());
    place(bin / "velmora-fetch", fs::perms::owner_read);  // not executable: passed over
    EXPECT_EQ(FindFetchHelperFrom(bin.string()), (libexec / "velmora-fetch").string());
    fs::permissions(bin / "velmora-fetch", fs::perms::owner_all);
    EXPECT_EQ(FindFetchHelperFrom(bin.string()), (bin / "velmora-fetch").string());
    fs::remove_all(root);
}

TEST_F(SpawnFetch, AMissingHelperFailsWithAReason) {
    const std::string url = "http://127.0.0.1:9/feed.xml";
    EXPECT_NE(ReasonWith("", url).find("velmora-fetch is neither beside the program"), std::string::npos);
    EXPECT_EQ(Wakes(), 1);
    EXPECT_NE(ReasonWith("/nonexistent/velmora-fetch", url).find("could not be started"), std::string::npos);
}

}  // namespace
}  // namespace velmora
