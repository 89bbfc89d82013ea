// A scriptable, recording platform for tests: a virtual clock with timers
// that fire in due order, fake windows and screen, scripted message boxes,
// fetches and shell results, and a log of every call the core makes.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace velmora::testing {

class FakeWindow;
class FakeTimer;
class FakeFetch;
class FakeTrayIcon;

// One scripted transfer: a document or a failure, ready after `busyReads`
// reads of the busy flag and `delayMs` of virtual time.
struct FetchScript {
    std::string body;
    std::string headerCharset;
    bool fail = false;
    int busyReads = 0;
    std::int64_t delayMs = 0;
};

struct DialogCall {
    enum Kind { Question, Error } kind;
    std::optional<WindowKind> owner;
    Text text, caption;
};

struct TrayCall {
    enum Op { Add, Update, Remove } op;
    TrayIconContent content;
};

// The program's icon as the fake notification area shows it.
struct ShownTrayIcon {
    WindowKind window;
    Control pictureBox;
    TrayIconContent content;
};

const char* KindName(WindowKind kind);

class FakePlatform : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;

    // --- Scripting ---
    ScreenMetrics screen{1920 * 15.0f, 1080 * 15.0f, 15.0f, 15.0f};
    bool roundHeightsToPixels = false;
    bool previousInstance = false;
    // The next load of a window of this kind fails, as a window the desktop
    // refuses to create would.
    std::optional<WindowKind> failNextLoad;
    Text programFolder = u"C:/Program Files/Velmora";
    std::map<Text, std::string> files;
    // Answers for the next questions (No when none is queued); `whileOpen`
    // runs while the box is up.
    void QueueAnswer(Answer answer, std::function<void()> whileOpen = {});
    // Runs while each error message box is up, before the user closes it.
    std::function<void()> whileErrorOpen;
    void QueueFetch(FetchScript script);
    // Used when no fetch is queued.
    FetchScript defaultFetch{"", "", true};
    std::deque<float> randomValues;  // Rnd's next results; an LCG after them
    void SetFile(const Text& name, std::string bytes) {
        files[programFolder + u"/" + name] = std::move(bytes);
    }

    // --- Driving ---
    std::int64_t Now() const { return now_; }
    // Lets `ms` of virtual time pass, firing timers in due order.
    void Advance(std::int64_t ms);
    // Runs `action` as an event from the loop: stops quietly when it ends the
    // process. Nested inside another event, the end unwinds to the outermost one.
    void RunEvent(const std::function<void()>& action);
    // Queues an event for the next pump.
    void Post(std::function<void()> event);
    bool Ended() const { return ended_; }
    FakeWindow* Window(WindowKind kind) const;
    int LoadCount(WindowKind kind) const;
    void Press(WindowKind kind, Control label, std::int16_t button = 1);
    void Release(WindowKind kind, Control label, std::int16_t button = 1);
    void Click(WindowKind kind, Control label, std::int16_t button = 1);
    // A close request from outside the program, to the window if it is loaded.
    void RequestClose(WindowKind kind);
    // A screen reader invokes a label's default action, if the window is loaded.
    void Invoke(WindowKind kind, Control label);
    // The user acts on the icon the notification area shows, if any.
    void Tray(TrayActivation activation);

    // --- Records ---
    std::vector<std::string> log;
    std::vector<DialogCall> dialogs;
    std::vector<Text> openedLinks;
    std::vector<std::pair<Text, Text>> announcements;  // name and description of each
    std::vector<TrayCall> trayCalls;
    std::vector<std::string> unhandledErrors;
    std::vector<Text> fetchedUrls;
    std::map<WindowKind, std::vector<Twips>> heightHistory;  // every height set, across loads
    std::optional<ShownTrayIcon> trayIcon;                   // what the notification area shows now
    int pumpCount = 0;
    int randomizeCount = 0;

    // --- Platform ---
    std::unique_ptr<NativeWindow> LoadWindow(const WindowDesign& design, WindowEvents& events) override;
    std::unique_ptr<NativeTimer> CreateTimer(std::function<void()> onTick) override;
    void PumpEvents() override;
    void PumpPendingEvents() override;
    bool PreviousInstance() override { return previousInstance; }
    Text ProgramFolder() override { return programFolder; }
    std::optional<std::string> ReadFileBytes(const Text& path) override;
    [[noreturn]] void End() override;
    ScreenMetrics Screen() override { return screen; }
    void Randomize() override;
    float Rnd() override;
    void ReportUnhandledError(const RuntimeError& error) override;
    Answer AskYesNo(NativeWindow* owner, const Text& question, const Text& caption) override;
    void ReportError(const Text& message, const Text& caption) override;
    void OpenLink(const Text& link) override;
    std::unique_ptr<NativeTrayIcon> CreateTrayIcon(NativeWindow& window, Control pictureBox,
                                                   std::function<void(TrayActivation)> onActivation) override;
    std::unique_ptr<FetchRequest> OpenUrl(const Text& url) override;
    std::optional<Text> Decode(std::string_view bytes, std::string_view charset) override;

private:
    friend class FakeWindow;
    friend class FakeTimer;
    friend class FakeFetch;
    friend class FakeTrayIcon;
    struct ScriptedBox {
        Answer answer;
        std::function<void()> whileOpen;
    };
    FakeTimer* NextDueTimer() const;
    void FireTimer(FakeTimer& timer);

    std::int64_t now_ = 0;
    bool ended_ = false;
    int eventDepth_ = 0;
    std::uint64_t startSequence_ = 0;
    std::uint32_t lcg_ = 12345;
    std::vector<FakeWindow*> windows_;
    std::vector<FakeTimer*> timers_;
    std::vector<FakeFetch*> fetches_;
    std::vector<FakeTrayIcon*> trayIcons_;
    std::map<WindowKind, int> loads_;
    std::deque<ScriptedBox> boxes_;
    std::deque<FetchScript> fetchScripts_;
    std::deque<std::function<void()>> posted_;
};

class FakeWindow : public NativeWindow {
public:
    FakeWindow(FakePlatform& platform, const WindowDesign& design, WindowEvents& events);
    ~FakeWindow() override;

    Twips Left() const override { return left_; }
    Twips Top() const override { return top_; }
    Twips Width() const override { return width_; }
    Twips Height() const override { return height_; }
    void SetLeft(Twips value) override;
    void SetTop(Twips value) override;
    void SetHeight(Twips value) override;
    void Show() override;
    void KeepOnTop() override;
    void Announce(const Text& name, const Text& description) override;
    void SetLabelCaption(Control label, const Text& caption) override;
    void MoveLabel(Control label, Twips left, Twips top) override;

    WindowKind kind() const { return design_.kind; }
    bool shown() const { return shown_; }
    bool onTop() const { return onTop_; }
    const WindowDesign& design() const { return design_; }
    const Text& LabelCaption(Control label) const { return captions_.at(label); }
    std::pair<Twips, Twips> LabelPosition(Control label) const { return positions_.at(label); }
    WindowEvents& events() { return events_; }
    std::vector<Twips> heights;                  // every height set, in order
    std::vector<std::pair<Twips, Twips>> moves;  // every (Left, Top) after a position change

private:
    FakePlatform& platform_;
    const WindowDesign& design_;
    WindowEvents& events_;
    Twips left_ = 0, top_ = 0, width_, height_;
    bool shown_ = false;
    bool onTop_ = false;
    std::map<Control, Text> captions_;
    std::map<Control, std::pair<Twips, Twips>> positions_;
};

}  // namespace velmora::testing
