#include "fake/fake_platform.h"

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
    Result<FetchedDocument> Take() override {
        if (script_.fail) return Failure{"scripted fetch failure"};
        return FetchedDocument{script_.body, script_.headerCharset};
    }
    bool CountedBusy() const { return script_.busyReads > 0; }
    std::int64_t readyAt() const { return readyAt_; }

private:
    FakePlatform& platform_;
    FetchScript script_;
    std::int64_t readyAt_;
};

// --- Tray icons -------------------------------------------------------------

class FakeTrayIcon : public NativeTrayIcon {
public:
    FakeTrayIcon(FakePlatform& platform, WindowKind window, Control pictureBox,
                 std::function<void(TrayActivation)> onActivation)
        : platform_(platform),
          window_(window),
          pictureBox_(pictureBox),
          onActivation_(std::move(onActivation)) {
        platform_.trayIcons_.push_back(this);
    }
    ~FakeTrayIcon() override { std::erase(platform_.trayIcons_, this); }
    // The notification area holds one icon of the program at a time: a
    // second add, or a change or removal of an icon it lacks, is refused.
    void Add(const TrayIconContent& content) override {
        const bool ok = !platform_.trayIcon;
        if (ok) {
            platform_.trayIcon = ShownTrayIcon{window_, pictureBox_, content};
            shown_ = true;
        }
        Record(TrayCall::Add, content, "TrayAdd", ok);
    }
    void Update(const TrayIconContent& content) override {
        if (shown_) platform_.trayIcon->content = content;
        Record(TrayCall::Update, content, "TrayUpdate", shown_);
    }
    void Remove() override {
        const bool ok = shown_;
        if (shown_) platform_.trayIcon.reset();
        shown_ = false;
        Record(TrayCall::Remove, {}, "TrayRemove", ok);
    }
    bool shown() const { return shown_; }
    void Activate(TrayActivation activation) {
        auto handler = onActivation_;  // the handler may destroy this icon
        handler(activation);
    }

private:
    void Record(TrayCall::Op op, const TrayIconContent& content, const char* name, bool ok) {
        platform_.trayCalls.push_back({op, content});
        platform_.log.push_back(std::string(name) + (ok ? "" : " refused"));
    }

    FakePlatform& platform_;
    WindowKind window_;
    Control pictureBox_;
    std::function<void(TrayActivation)> onActivation_;
    bool shown_ = false;
};

// --- Windows ----------------------------------------------------------------

const char* KindName(WindowKind kind) {
    return kind == WindowKind::MainWindow ? "MainWindow" : "Popup";
}

FakeWindow::FakeWindow(FakePlatform& platform, const WindowDesign& design, WindowEvents& events)
    : platform_(platform), design_(design), events_(events), width_(design.width), height_(design.height) {
    for (const auto& label : design.labels) {
        captions_[label.id] = label.caption;
        positions_[label.id] = {label.left, label.top};
    }
    platform_.windows_.push_back(this);
    ++platform_.loads_[design.kind];
    platform_.log.push_back(std::string("Load ") + KindName(design_.kind));
}

FakeWindow::~FakeWindow() {
    platform_.log.push_back(std::string("Unload ") + KindName(design_.kind));
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
    platform_.log.push_back(std::string("Show ") + KindName(design_.kind));
}

void FakeWindow::KeepOnTop() {
    onTop_ = true;
    platform_.log.push_back(std::string("KeepOnTop ") + KindName(design_.kind));
}

void FakeWindow::Announce(const Text& name, const Text& description) {
    platform_.announcements.emplace_back(name, description);
    platform_.log.push_back(std::string("Announce ") + KindName(design_.kind));
}

void FakeWindow::SetLabelCaption(Control label, const Text& caption) {
    captions_.at(label) = caption;
}

void FakeWindow::MoveLabel(Control label, Twips left, Twips top) {
    positions_.at(label) = {left, top};
}

// --- Platform ---------------------------------------------------------------

FakePlatform::FakePlatform() = default;
FakePlatform::~FakePlatform() = default;

void FakePlatform::QueueAnswer(Answer answer, std::function<void()> whileOpen) {
    boxes_.push_back({answer, std::move(whileOpen)});
}

void FakePlatform::QueueFetch(FetchScript script) {
    fetchScripts_.push_back(std::move(script));
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
    if (failNextLoad == design.kind) {
        failNextLoad.reset();
        log.push_back(std::string("Load failed ") + KindName(design.kind));
        throw RuntimeError(ErrorCode::Platform, "the window could not be created");
    }
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

Answer FakePlatform::AskYesNo(NativeWindow* owner, const Text& question, const Text& caption) {
    std::optional<WindowKind> ownerKind;
    if (owner) ownerKind = dynamic_cast<FakeWindow&>(*owner).kind();
    dialogs.push_back({DialogCall::Question, ownerKind, question, caption});
    log.push_back("Ask " + TextToUtf8(caption));
    ScriptedBox box{Answer::No, {}};
    if (!boxes_.empty()) {
        box = std::move(boxes_.front());
        boxes_.pop_front();
    }
    if (box.whileOpen) box.whileOpen();
    return box.answer;
}

void FakePlatform::ReportError(const Text& message, const Text& caption) {
    dialogs.push_back({DialogCall::Error, std::nullopt, message, caption});
    log.push_back("ReportError " + TextToUtf8(caption));
    if (whileErrorOpen) whileErrorOpen();
}

void FakePlatform::OpenLink(const Text& link) {
    openedLinks.push_back(link);
    log.push_back("OpenLink " + TextToUtf8(link));
}

std::unique_ptr<NativeTrayIcon> FakePlatform::CreateTrayIcon(
    NativeWindow& window, Control pictureBox, std::function<void(TrayActivation)> onActivation) {
    auto& fakeWindow = dynamic_cast<FakeWindow&>(window);
    bool hasBox = false;
    for (const auto& picture : fakeWindow.design().pictures) hasBox |= picture.id == pictureBox;
    if (!hasBox) throw std::logic_error("the window has no such picture box");
    return std::make_unique<FakeTrayIcon>(*this, fakeWindow.kind(), pictureBox, std::move(onActivation));
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

void FakePlatform::Invoke(WindowKind kind, Control label) {
    RunEvent([&] {
        if (FakeWindow* w = Window(kind)) w->events().Invoke(label);
    });
}

void FakePlatform::Tray(TrayActivation activation) {
    RunEvent([&] {
        for (FakeTrayIcon* icon : trayIcons_) {
            if (!icon->shown()) continue;
            icon->Activate(activation);
            return;  // the handler may have destroyed icons
        }
    });
}

}  // namespace velmora::testing
