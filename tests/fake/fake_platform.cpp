#include "fake/fake_platform.h"

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "platform/posix/iconv_decoder.h"

namespace velmora::testing {

// --- Timers -----------------------------------------------------------------

class FakeTimer : public NativeTimer {
public:
    FakeTimer(FakePlatform& platform, std::function<void()> onTick)
        : platform_(platform), onTick_(std::move(onTick)) {
        platform_.timers_.push_back(this);
    }
    ~FakeTimer() override { std::erase(platform_.timers_, this); }
    void Start(std::uint32_t intervalMs) override {
        if (running_) return;
        running_ = true;
        interval_ = intervalMs;
        due_ = platform_.now_ + intervalMs;
        sequence_ = ++platform_.startSequence_;
    }
    void Stop() override { running_ = false; }

    FakePlatform& platform_;
    std::function<void()> onTick_;
    bool running_ = false;
    std::uint32_t interval_ = 0;
    std::int64_t due_ = 0;
    std::uint64_t sequence_ = 0;
};

// --- Fetches ----------------------------------------------------------------

class FakeFetch : public FetchRequest {
public:
    FakeFetch(FakePlatform& platform, FetchScript script)
        : platform_(platform), script_(std::move(script)), readyAt_(platform.now_ + script_.delayMs) {
        platform_.fetches_.push_back(this);
    }
    ~FakeFetch() override { std::erase(platform_.fetches_, this); }
    bool Busy() override {
        if (script_.busyReads > 0) {
            --script_.busyReads;
            return true;
        }
        return platform_.now_ < readyAt_;
    }
    FetchedDocument Take() override {
        if (script_.fail) throw RuntimeError(ErrorCode::FetchFailed, "scripted fetch failure");
        return {script_.body, script_.headerCharset};
    }
    bool CountedBusy() const { return script_.busyReads > 0; }
    std::int64_t readyAt() const { return readyAt_; }

private:
    FakePlatform& platform_;
    FetchScript script_;
    std::int64_t readyAt_;
};

// --- Windows ----------------------------------------------------------------

FakeWindow::FakeWindow(FakePlatform& platform, const WindowDesign& design, WindowEvents& events)
    : platform_(platform),
      design_(design),
      events_(events),
      handle_(platform.NewHandle()),
      iconHandle_(platform.NewHandle()),
      pictureWindow_(platform.NewHandle()),
      pictureHandle_(platform.NewHandle()),
      width_(design.width),
      height_(design.height) {
    for (const auto& label : design.labels) {
        captions_[label.id] = label.caption;
        positions_[label.id] = {label.left, label.top};
    }
    platform_.windows_.push_back(this);
    ++platform_.loads_[design.kind];
    platform_.log.push_back("Load " + platform_.NameOf(handle_));
}

FakeWindow::~FakeWindow() {
    platform_.log.push_back("Unload " + platform_.NameOf(handle_));
    std::erase(platform_.windows_, this);
}

void FakeWindow::SetLeft(Twips value) {
    left_ = value;
    moves.emplace_back(left_, top_);
}

void FakeWindow::SetTop(Twips value) {
    top_ = value;
    moves.emplace_back(left_, top_);
}

void FakeWindow::SetHeight(Twips value) {
    if (platform_.roundHeightsToPixels) {
        float tpp = platform_.screen.twipsPerPixelY;
        value = std::nearbyint(value / tpp) * tpp;
    }
    height_ = value;
    heights.push_back(value);
    platform_.heightHistory[design_.kind].push_back(value);
}

void FakeWindow::Show() {
    shown_ = true;
    platform_.log.push_back("Show " + platform_.NameOf(handle_));
}

void FakeWindow::SetLabelCaption(Control label, const Text& caption) {
    captions_.at(label) = caption;
}

void FakeWindow::MoveLabel(Control label, Twips left, Twips top) {
    positions_.at(label) = {left, top};
}

Handle FakeWindow::ControlHandle(Control control) const {
    if (control != Control::TrayCallbackBox || design_.pictures.empty())
        throw RuntimeError(ErrorCode::Platform, "no such control");
    return pictureWindow_;
}

Handle FakeWindow::PictureHandle(Control control) const {
    if (control != Control::TrayCallbackBox || design_.pictures.empty())
        throw RuntimeError(ErrorCode::Platform, "no such control");
    return pictureHandle_;
}

// --- Platform ---------------------------------------------------------------

FakePlatform::FakePlatform() = default;
FakePlatform::~FakePlatform() = default;

void FakePlatform::QueueMsgBox(std::int32_t answer, std::function<void()> whileOpen) {
    boxes_.push_back({answer, std::move(whileOpen)});
}

void FakePlatform::QueueFetch(FetchScript script) {
    fetchScripts_.push_back(std::move(script));
}

std::string FakePlatform::NameOf(Handle handle) const {
    for (const FakeWindow* w : windows_) {
        const char* kind = w->kind() == WindowKind::MainWindow ? "MainWindow" : "Popup";
        if (w->hWnd() == handle) return kind;
        if (w->kind() == WindowKind::MainWindow && w->ControlHandle(Control::TrayCallbackBox) == handle)
            return "TrayCallbackBox";
    }
    return std::to_string(handle);
}

FakeWindow* FakePlatform::Window(WindowKind kind) const {
    for (FakeWindow* w : windows_)
        if (w->kind() == kind) return w;
    return nullptr;
}

int FakePlatform::LoadCount(WindowKind kind) const {
    auto it = loads_.find(kind);
    return it == loads_.end() ? 0 : it->second;
}

FakeTimer* FakePlatform::NextDueTimer() const {
    FakeTimer* next = nullptr;
    for (FakeTimer* t : timers_) {
        if (!t->running_) continue;
        if (!next || t->due_ < next->due_ || (t->due_ == next->due_ && t->sequence_ < next->sequence_))
            next = t;
    }
    return next;
}

void FakePlatform::FireTimer(FakeTimer& timer) {
    // A late timer fires once, not once per missed interval.
    std::int64_t fireTime = std::max(timer.due_, now_);
    now_ = fireTime;
    timer.due_ = fireTime + timer.interval_;
    timer.sequence_ = ++startSequence_;
    auto tick = timer.onTick_;  // the timer may be destroyed by its own tick
    tick();
}

void FakePlatform::Advance(std::int64_t ms) {
    const std::int64_t target = now_ + ms;
    RunEvent([&] {
        while (!ended_) {
            if (!posted_.empty()) {
                auto event = std::move(posted_.front());
                posted_.pop_front();
                event();
                continue;
            }
            FakeTimer* next = NextDueTimer();
            if (!next || std::max(next->due_, now_) > target) break;
            FireTimer(*next);
        }
    });
    now_ = std::max(now_, target);
}

void FakePlatform::RunEvent(const std::function<void()>& action) {
    if (ended_) return;
    // Only the outermost loop survives End: inside a pump or a message box
    // the end must unwind every handler below it, as a real exit would.
    if (eventDepth_ > 0) {
        action();
        return;
    }
    ++eventDepth_;
    try {
        action();
    } catch (const ProcessEnded&) {
    } catch (...) {
        --eventDepth_;
        throw;
    }
    --eventDepth_;
}

void FakePlatform::Post(std::function<void()> event) {
    posted_.push_back(std::move(event));
}

void FakePlatform::PumpEvents() {
    ++pumpCount;
    if (pumpCount > 10'000'000) throw std::logic_error("the code spins on the event pump");
    if (!posted_.empty()) {
        while (!posted_.empty()) {
            auto event = std::move(posted_.front());
            posted_.pop_front();
            event();
        }
        return;
    }
    // A transfer counting busy reads makes progress on each pump.
    for (FakeFetch* f : fetches_)
        if (f->CountedBusy()) return;
    // Otherwise block until the next event: a timer or a transfer's end.
    std::optional<std::int64_t> wake;
    if (FakeTimer* t = NextDueTimer()) wake = std::max(t->due_, now_);
    for (FakeFetch* f : fetches_)
        if (f->readyAt() > now_ && (!wake || f->readyAt() < *wake)) wake = f->readyAt();
    if (!wake) throw std::logic_error("pump would block forever: nothing can happen");
    now_ = *wake;
    FakeTimer* t = NextDueTimer();
    if (t && t->due_ <= now_) FireTimer(*t);
}

void FakePlatform::PumpPendingEvents() {
    ++pumpCount;
    while (!posted_.empty()) {
        auto event = std::move(posted_.front());
        posted_.pop_front();
        event();
    }
    // Timers already due at this instant run too.
    while (FakeTimer* t = NextDueTimer()) {
        if (t->due_ > now_) break;
        FireTimer(*t);
    }
}

std::unique_ptr<NativeWindow> FakePlatform::LoadWindow(const WindowDesign& design, WindowEvents& events) {
    return std::make_unique<FakeWindow>(*this, design, events);
}

std::unique_ptr<NativeTimer> FakePlatform::CreateTimer(std::function<void()> onTick) {
    return std::make_unique<FakeTimer>(*this, std::move(onTick));
}

std::optional<std::string> FakePlatform::ReadFileBytes(const Text& path) {
    log.push_back("ReadFile " + TextToUtf8(path));
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
}

void FakePlatform::End() {
    log.push_back("End");
    ended_ = true;
    throw ProcessEnded{};
}

void FakePlatform::Randomize() {
    ++randomizeCount;
}

float FakePlatform::Rnd() {
    if (!randomValues.empty()) {
        float r = randomValues.front();
        randomValues.pop_front();
        return r;
    }
    lcg_ = lcg_ * 1140671485u + 12820163u;
    return static_cast<float>(lcg_ & 0xFFFFFF) / 16777216.0f;
}

void FakePlatform::ReportUnhandledError(const RuntimeError& error) {
    unhandledErrors.push_back(error.what());
    log.push_back(std::string("Error ") + error.what());
}

std::int32_t FakePlatform::MsgBox(Handle owner, const Text& text, const Text& caption, std::int32_t style) {
    msgBoxes.push_back({owner, text, caption, style});
    log.push_back("MsgBox " + TextToUtf8(caption));
    ScriptedBox box{(style & 0xF) == kMbYesNo ? kIdNo : 1, {}};
    if (!boxes_.empty()) {
        box = std::move(boxes_.front());
        boxes_.pop_front();
    }
    if (box.whileOpen) box.whileOpen();
    return box.answer;
}

std::int32_t FakePlatform::SetWindowPos(Handle window, Handle insertAfter, std::int32_t x, std::int32_t y,
                                        std::int32_t cx, std::int32_t cy, std::int32_t flags) {
    // Above all other windows, keeping place and size, and nothing else.
    if (insertAfter == kHwndTopmost && flags == kSwpNoMove + kSwpNoSize) {
        log.push_back("Topmost " + NameOf(window));
        return 1;
    }
    log.push_back("SetWindowPos " + NameOf(window) + " " + std::to_string(insertAfter) + " " +
                  std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(cx) + " " +
                  std::to_string(cy) + " " + std::to_string(flags));
    return 1;
}

std::int32_t FakePlatform::ShellExecuteLink(Handle owner, const Text& operation, const Text& file,
                                            const Text& parameters, const Text& directory,
                                            std::int32_t showCommand) {
    launches.push_back({owner, operation, file, parameters, directory, showCommand});
    log.push_back("ShellExecute " + TextToUtf8(file));
    return launchResult;
}

std::int32_t WireInt(const NotifyIconWire& wire, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | wire[offset + i];
    return static_cast<std::int32_t>(v);
}

Text WireText(FakePlatform& platform, const NotifyIconWire& wire, std::size_t offset, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(wire.data() + offset), size);
    bytes = bytes.substr(0, bytes.find('\0'));
    return platform.FromAnsi(bytes);
}

bool FakePlatform::ShellNotifyIcon(std::int32_t message, NotifyIconWire& data) {
    const Handle window = WireInt(data, 4);
    const std::int32_t id = WireInt(data, 8);
    auto it = std::find_if(trayIcons.begin(), trayIcons.end(),
                           [&](const ShellIcon& icon) { return icon.window == window && icon.id == id; });
    bool ok = false;
    auto fill = [&](ShellIcon& icon) {
        icon.icon = WireInt(data, 20);
        icon.tip = WireText(*this, data, 24, 128);
        icon.info = WireText(*this, data, 160, 256);
        icon.infoTitle = WireText(*this, data, 420, 64);
    };
    if (message == kNimAdd && it == trayIcons.end()) {
        ShellIcon icon{window, id, 0, {}, {}, {}};
        fill(icon);
        trayIcons.push_back(icon);
        ok = true;
    } else if (message == kNimModify && it != trayIcons.end()) {
        fill(*it);
        ok = true;
    } else if (message == kNimDelete && it != trayIcons.end()) {
        trayIcons.erase(it);
        ok = true;
    }
    static const char* const kNames[] = {"ADD", "MODIFY", "DELETE"};
    log.push_back(std::string("NotifyIcon ") + (message >= 0 && message <= 2 ? kNames[message] : "?") + " " +
                  NameOf(window) + (ok ? "" : " refused"));
    notifyCalls.push_back({message, data, ok});
    return ok;
}

std::unique_ptr<FetchRequest> FakePlatform::OpenUrl(const Text& url) {
    fetchedUrls.push_back(url);
    log.push_back("Fetch " + TextToUtf8(url));
    FetchScript script = defaultFetch;
    if (!fetchScripts_.empty()) {
        script = std::move(fetchScripts_.front());
        fetchScripts_.pop_front();
    }
    return std::make_unique<FakeFetch>(*this, std::move(script));
}

namespace {

std::string IconvEncode(std::u16string_view text, const char* to) {
    iconv_t cd = iconv_open(to, "UTF-16LE");
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t n = (IsHighSurrogate(text[i]) && i + 1 < text.size()) ? 2 : 1;
        char in[4];
        for (std::size_t k = 0; k < n; ++k) {
            in[2 * k] = static_cast<char>(text[i + k] & 0xFF);
            in[2 * k + 1] = static_cast<char>(text[i + k] >> 8);
        }
        char buf[16];
        char* inPtr = in;
        char* outPtr = buf;
        std::size_t inLeft = 2 * n, outLeft = sizeof buf;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            out.push_back('?');
        else
            out.append(buf, sizeof buf - outLeft);
        i += n - 1;
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string FakePlatform::ToAnsi(std::u16string_view text) {
    switch (codePage) {
        case AnsiCodePage::Utf8:
            return TextToUtf8(text);
        case AnsiCodePage::Western:
            return IconvEncode(text, "WINDOWS-1252");
        case AnsiCodePage::Chinese:
            return IconvEncode(text, "GBK");
    }
    return {};
}

Text FakePlatform::FromAnsi(std::string_view bytes) {
    switch (codePage) {
        case AnsiCodePage::Utf8:
            return Utf8ToText(bytes);
        case AnsiCodePage::Western:
            return *IconvDecode(bytes, "WINDOWS-1252");
        case AnsiCodePage::Chinese:
            return *IconvDecode(bytes, "GBK");
    }
    return {};
}

std::optional<Text> FakePlatform::Decode(std::string_view bytes, std::string_view charset) {
    return IconvDecode(bytes, charset);
}

void FakePlatform::Press(WindowKind kind, Control label, std::int16_t button) {
    RunEvent([&] {
        if (FakeWindow* w = Window(kind)) w->events().MouseDown(label, {button, 0, 30, 30});
    });
}

void FakePlatform::Release(WindowKind kind, Control label, std::int16_t button) {
    RunEvent([&] {
        if (FakeWindow* w = Window(kind)) w->events().MouseUp(label, {button, 0, 30, 30});
    });
}

void FakePlatform::Click(WindowKind kind, Control label, std::int16_t button) {
    Press(kind, label, button);
    Release(kind, label, button);
}

void FakePlatform::RequestClose(WindowKind kind) {
    RunEvent([&] {
        if (FakeWindow* w = Window(kind)) w->events().CloseRequested();
    });
}

void FakePlatform::TrayCallbackX(Twips x) {
    RunEvent([&] {
        if (trayIcons.empty()) return;
        const Handle target = trayIcons.front().window;
        for (FakeWindow* w : windows_) {
            if (w->kind() == WindowKind::MainWindow && w->ControlHandle(Control::TrayCallbackBox) == target) {
                w->events().MouseMove(Control::TrayCallbackBox, {0, 0, x, 0});
                return;  // the handler may have unloaded windows
            }
        }
    });
}

void FakePlatform::TrayCallback(std::int32_t mouseMessage) {
    TrayCallbackX(static_cast<Twips>(mouseMessage) * screen.twipsPerPixelX);
}

}  // namespace velmora::testing
