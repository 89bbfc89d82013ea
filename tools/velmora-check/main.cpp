// velmora-check: runs the feed check on one document and tells what the
// pop-up would show, or why it would show nothing. Uses the program's own
// fetch, decoding and text logic, and nothing but the standard library
// besides, so each platform builds it with its own transfer behind
// platform/fetch/http_fetch.h.
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/read_first_item.h"
#include "core/errors.h"
#include "core/result.h"
#include "core/text.h"
#include "feed/charset.h"
#include "feed/feed_check.h"
#include "platform/common/system_decode.h"
#include "platform/fetch/http_fetch.h"
#include "popup/notice_popup.h"
#include "velmora_config.h"

namespace velmora {
namespace {

constexpr int kShown = 0;
constexpr int kNothingShown = 1;
constexpr int kCannotRead = 2;

constexpr const char* kUsage =
    R"(usage: velmora-check [--last-pubdate TEXT] [--json] SOURCE
       velmora-check --feed-url [--json] [URLS_FILE]
       velmora-check --help | --version

Runs the feed check on one document and prints what the pop-up would show,
or why it would show nothing.

  SOURCE              a feed file, or an http:// or https:// address fetched
                      the way the program fetches it
  --last-pubdate TEXT the pubDate of the last item shown (default: empty, as
                      at program start); an equal pubDate shows nothing
  --json              print one JSON object (UTF-8) instead of plain lines:
                      {"shown":true,"pubDate":..,"title":..,"text":..,"link":..,
                       "titleCaption":..,"textCaption":..} or
                      {"shown":false,"reason":..}
  --feed-url          print the feed address start-up would build from
                      URLS_FILE (default: urls.txt beside this program), or
                      why start-up would fail; with --json {"feedUrl":..} or
                      {"error":..}

Exit status:
  0  an item would be shown (--feed-url: an address was built)
  1  nothing would be shown (--feed-url: urls.txt holds nothing)
  2  the source could not be read or fetched, or a usage error; the reason
     goes to standard error, and with --json also into the JSON object
)";

// JSON string literal of a text. Lone surrogates are kept as \uXXXX escapes
// so that a broken character in the feed stays visible.
std::string JsonString(std::u16string_view text) {
    static const char kHex[] = "0123456789abcdef";
    auto escape = [](std::string& out, char16_t unit) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
    };
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        switch (c) {
            case u'"':
                out += "\\\"";
                continue;
            case u'\\':
                out += "\\\\";
                continue;
            case u'\b':
                out += "\\b";
                continue;
            case u'\f':
                out += "\\f";
                continue;
            case u'\n':
                out += "\\n";
                continue;
            case u'\r':
                out += "\\r";
                continue;
            case u'\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        if (c < 0x20) {
            escape(out, c);
        } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            out += TextToUtf8(text.substr(i, 2));
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            escape(out, c);
        } else {
            out += TextToUtf8(text.substr(i, 1));
        }
    }
    return out + "\"";
}

std::string JsonString(std::string_view utf8) {
    return JsonString(Utf8ToText(utf8));
}

// Characters that reorder the text around them: a feed could make a printed
// link read otherwise than it is.
bool IsBidiControl(char16_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F ||
           c == 0x061C;
}

// A text for a terminal: control characters (C0, DEL, C1) would let a feed
// move the cursor, retitle or clear the window, or hide lines, and bidi
// controls reorder what is shown, so they are shown as escapes; only line
// feeds stay, followed by an indent so that no feed line can pass for one of
// ours.
std::string PlainText(const Text& value) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    std::size_t from = 0;
    auto takeUpTo = [&](std::size_t end) {
        out += TextToUtf8(std::u16string_view(value).substr(from, end - from));
        from = end + 1;
    };
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char16_t c = value[i];
        if (c >= 0x20 && c != 0x7F && (c < 0x80 || c >= 0xA0) && !IsBidiControl(c)) continue;
        takeUpTo(i);
        if (c == u'\n')
            out += "\n    ";
        else if (c < 0x80)
            out += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
        else
            out += {'\\', 'u', kHex[c >> 12], kHex[(c >> 8) & 0xF], kHex[(c >> 4) & 0xF], kHex[c & 0xF]};
    }
    takeUpTo(value.size());
    return out;
}

void PrintField(std::string_view label, const Text& value) {
    std::cout << label << ": " << PlainText(value) << '\n';
}

struct Options {
    bool json = false;
    bool feedUrl = false;
    bool help = false;
    bool version = false;
    Text lastPubDate;
    std::vector<std::string> operands;
};

// The options the arguments ask for, or what is wrong with them.
Result<Options> ParseArguments(int argc, char** argv) {
    Options options;
    bool onlyOperands = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (onlyOperands || arg.size() < 2 || arg.substr(0, 1) != "-") {
            options.operands.emplace_back(arg);
        } else if (arg == "--") {
            onlyOperands = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--feed-url") {
            options.feedUrl = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--last-pubdate") {
            if (i + 1 >= argc) return Failure{"--last-pubdate needs a value"};
            options.lastPubDate = Utf8ToText(argv[++i]);
        } else if (arg.substr(0, 15) == "--last-pubdate=") {
            options.lastPubDate = Utf8ToText(arg.substr(15));
        } else {
            return Failure{"unknown option " + std::string(arg)};
        }
    }
    if (options.help || options.version) return options;
    if (options.feedUrl) {
        if (options.operands.size() > 1) return Failure{"--feed-url takes at most one URLS_FILE"};
    } else if (options.operands.size() != 1) {
        return Failure{options.operands.empty() ? "no SOURCE given" : "more than one SOURCE given"};
    }
    return options;
}

std::optional<std::string> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

bool IsUrl(std::string_view source) {
    std::size_t colon = source.find("://");
    if (colon == std::string_view::npos || colon == 0) return false;
    for (char c : source.substr(0, colon)) {
        bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '+' || c == '-' || c == '.';
        if (!schemeChar) return false;
    }
    return true;
}

// Fetches like the program's check: start the transfer, then wait until it
// says it is done. The wait sleeps on a condition variable that the
// transfer's completion signals; it never polls.
Result<FetchedDocument> Fetch(const std::string& url) {
    std::mutex mutex;
    std::condition_variable doneSignal;
    bool woken = false;
    std::unique_ptr<FetchRequest> request = StartHttpFetch(Utf8ToText(url), [&] {
        std::lock_guard<std::mutex> lock(mutex);
        woken = true;
        doneSignal.notify_all();
    });
    while (request->Busy()) {
        std::unique_lock<std::mutex> lock(mutex);
        doneSignal.wait(lock, [&] { return woken; });
        woken = false;
    }
    return request->Take();
}

// The source's text as the check would see it, or the reason it cannot be had.
Result<Text> LoadSource(const std::string& source) {
    if (IsUrl(source)) {
        Result<FetchedDocument> document = Fetch(source);
        if (!document) return Failure{document.reason()};
        return DecodeDocument(document->body, document->headerCharset, SystemDecode);
    }
    std::optional<std::string> bytes = ReadFile(source);
    if (!bytes) return Failure{"cannot read " + source};
    return DecodeDocument(*bytes, "", SystemDecode);
}

int ReportNothing(const Options& options, const std::string& reason, int status) {
    if (options.json) {
        std::cout << "{\"shown\":false,\"reason\":" << JsonString(reason) << "}\n";
    } else if (status == kNothingShown) {
        std::cout << "shown: no\nreason: " << reason << '\n';
    }
    if (status != kNothingShown) std::cerr << "velmora-check: " << reason << '\n';
    return status;
}

int RunCheck(const Options& options) {
    const Result<Text> feed = LoadSource(options.operands.front());
    if (!feed) return ReportNothing(options, feed.reason(), kCannotRead);

    FeedOutcome outcome;
    try {
        outcome = ExamineFeed(feed.value(), options.lastPubDate);
    } catch (const RuntimeError& error) {
        // A position past the 16-bit limit or an end marker before its field
        // ends the program's check too, showing nothing, like any other miss.
        return ReportNothing(options, error.what(), kNothingShown);
    }
    if (auto* reason = std::get_if<NoNotice>(&outcome)) {
        return ReportNothing(options, Describe(*reason), kNothingShown);
    }

    const FeedItem& item = std::get<FeedItem>(outcome);
    const Text titleCaption = TitleCaption(item.title);
    const Text textCaption = TextCaption(item.description);
    if (options.json) {
        std::cout << "{\"shown\":true,\"pubDate\":" << JsonString(item.pubDate)
                  << ",\"title\":" << JsonString(item.title) << ",\"text\":" << JsonString(item.description)
                  << ",\"link\":" << JsonString(item.link) << ",\"titleCaption\":" << JsonString(titleCaption)
                  << ",\"textCaption\":" << JsonString(textCaption) << "}\n";
    } else {
        std::cout << "shown: yes\n";
        PrintField("pubDate", item.pubDate);
        PrintField("title", item.title);
        PrintField("text", item.description);
        PrintField("link", item.link);
        PrintField("title label", titleCaption);
        PrintField("text label", textCaption);
    }
    return kShown;
}

// The folder of the running program: /proc/self/exe where there is one,
// else the folder named by argv[0].
std::filesystem::path ProgramFolder(const char* argv0) {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && !self.empty()) return self.parent_path();
    std::filesystem::path named = std::filesystem::absolute(argv0 ? argv0 : "", error);
    return error ? std::filesystem::path(".") : named.parent_path();
}

int RunFeedUrl(const Options& options, const char* argv0) {
    const std::filesystem::path path = options.operands.empty()
                                           ? ProgramFolder(argv0) / "urls.txt"
                                           : std::filesystem::path(options.operands.front());
    auto fail = [&](const std::string& why, int status) {
        const std::string message = "start-up would fail: " + why;
        if (options.json) std::cout << "{\"error\":" << JsonString(message) << "}\n";
        std::cerr << "velmora-check: " << message << '\n';
        return status;
    };
    std::optional<std::string> bytes = ReadFile(path);
    if (!bytes) return fail("cannot read " + path.string(), kCannotRead);
    std::optional<Text> item = ReadFirstItem(DecodeTextFile(*bytes, SystemDecode));
    if (!item) return fail(path.string() + " is empty", kNothingShown);

    // The base address comes first and the item follows unchanged.
    const Text feedUrl = Text(VELMORA_FEED_BASE_URL) + *item;
    if (options.json) {
        std::cout << "{\"feedUrl\":" << JsonString(feedUrl) << "}\n";
    } else {
        std::cout << PlainText(feedUrl) << '\n';
    }
    return kShown;
}

int Run(int argc, char** argv) {
    const Result<Options> parsed = ParseArguments(argc, argv);
    if (!parsed) {
        bool json = false, feedUrl = false;
        for (int i = 1; i < argc; ++i) {
            json = json || std::string_view(argv[i]) == "--json";
            feedUrl = feedUrl || std::string_view(argv[i]) == "--feed-url";
        }
        if (json) {
            std::cout << (feedUrl ? "{\"error\":" : "{\"shown\":false,\"reason\":")
                      << JsonString(parsed.reason()) << "}\n";
        }
        std::cerr << "velmora-check: " << parsed.reason() << "\n\n" << kUsage;
        return kCannotRead;
    }
    const Options& options = parsed.value();
    if (options.help) {
        std::cout << kUsage;
        return kShown;
    }
    if (options.version) {
        std::cout << "velmora-check " << VELMORA_VERSION << '\n';
        return kShown;
    }
    return options.feedUrl ? RunFeedUrl(options, argc > 0 ? argv[0] : nullptr) : RunCheck(options);
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    try {
        return velmora::Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "velmora-check: " << error.what() << '\n';
        return 2;
    }
}
