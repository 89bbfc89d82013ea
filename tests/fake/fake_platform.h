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
#include <vector>

#include "platform/platform.h"

namespace velmora::testing {

class FakeWindow;
class FakeTimer;
class FakeFetch;

// One scripted transfer: a document or a failure, ready after `busyReads`
// reads of the busy flag and `delayMs` of virtual time.
struct FetchScript {
    std::string body;
    std::string headerCharset;
    bool fail = false;
    int busyReads = 0;
    std::int64_t delayMs = 0;
};

struct MsgBoxCall {
    Handle owner;
    Text text, caption;
    std::int32_t style;
};

struct LaunchCall {
    Handle owner;
    Text operation, file, parameters, directory;
    std::int32_t showCommand;
};

struct NotifyCall {
    std::int32_t message;
    NotifyIconWire wire;
    bool result;
};

struct ShellIcon {
    Handle window;
    std::int32_t id;
    Handle icon;
    Text tip, infoTitle, info;
};

enum class AnsiCodePage { Utf8, Western, Chinese };

class FakePlatform : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;

    // --- Scripting ---
    ScreenMetrics screen{1920 * 15.0f, 1080 * 15.0f, 15.0f, 15.0f};
    bool roundHeightsToPixels = false;
    bool previousInstance = false;
    Text programFolder = u"C:/Program Files/Velmora";
    std::map<Text, std::string> files;
    AnsiCodePage codePage = AnsiCodePage::Utf8;
    std::int32_t launchResult = 42;
    // Answers for the next message boxes; `whileOpen` runs while the box is up.
    void QueueMsgBox(std::int32_t answer, std::function<void()> whileOpen = {});
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
    // The shell's callback for the icon: a mouse move to the icon's window with
    // X = mouseMessage pixels.
    void TrayCallback(std::int32_t mouseMessage);
    void TrayCallbackX(Twips x);

    // --- Records ---
    std::vector<std::string> log;
    std::vector<MsgBoxCall> msgBoxes;
    std::vector<LaunchCall> launches;
    std::vector<NotifyCall> notifyCalls;
    std::vector<std::string> unhandledErrors;
    std::vector<Text> fetchedUrls;
    std::map<WindowKind, std::vector<Twips>> heightHistory;  // every height set, across loads
    std::vector<ShellIcon> trayIcons;                        // icons the fake shell shows now
    int pumpCount = 0;
    int randomizeCount = 0;
    std::string NameOf(Handle handle) const;

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
    std::int32_t MsgBox(Handle owner, const Text& text, const Text& caption, std::int32_t style) override;
    std::int32_t SetWindowPos(Handle window, Handle insertAfter, std::int32_t x, std::int32_t y,
                              std::int32_t cx, std::int32_t cy, std::int32_t flags) override;
    std::int32_t ShellExecuteLink(Handle owner, const Text& operation, const Text& file,
                                  const Text& parameters, const Text& directory,
                                  std::int32_t showCommand) override;
    bool ShellNotifyIcon(std::int32_t message, NotifyIconWire& data) override;
    std::unique_ptr<FetchRequest> OpenUrl(const Text& url) override;
    std::string ToAnsi(std::u16string_view text) override;
    Text FromAnsi(std::string_view bytes) override;
    std::optional<Text> Decode(std::string_view bytes, std::string_view charset) override;

private:
    friend class FakeWindow;
    friend class FakeTimer;
    friend class FakeFetch;
    struct ScriptedBox {
        std::int32_t answer;
        std::function<void()> whileOpen;
    };
    FakeTimer* NextDueTimer() const;
    void FireTimer(FakeTimer& timer);
    Handle NewHandle() { return nextHandle_ += 0x10; }

    std::int64_t now_ = 0;
    bool ended_ = false;
    int eventDepth_ = 0;
    Handle nextHandle_ = 0x1000;
    std::uint64_t startSequence_ = 0;
    std::uint32_t lcg_ = 12345;
    std::vector<FakeWindow*> windows_;
    std::vector<FakeTimer*> timers_;
    std::vector<FakeFetch*> fetches_;
    std::map<WindowKind, int> loads_;
    std::deque<ScriptedBox> boxes_;
    std::deque<FetchScript> fetchScripts_;
    std::deque<std::function<void()>> posted_;
};

class FakeWindow : public NativeWindow {
public:
    FakeWindow(FakePlatform& platform, const WindowDesign& design, WindowEvents& events);
    ~FakeWindow() override;

    Handle hWnd() const override { return handle_; }
    Twips Left() const override { return left_; }
    Twips Top() const override { return top_; }
    Twips Width() const override { return width_; }
    Twips Height() const override { return height_; }
    void SetLeft(Twips value) override;
    void SetTop(Twips value) override;
    void SetHeight(Twips value) override;
    void Show() override;
    void SetLabelCaption(Control label, const Text& caption) override;
    void MoveLabel(Control label, Twips left, Twips top) override;
    Handle ControlHandle(Control control) const override;
    Handle IconHandle() const override { return iconHandle_; }
    Handle PictureHandle(Control control) const override;

    WindowKind kind() const { return design_.kind; }
    bool shown() const { return shown_; }
    const Text& LabelCaption(Control label) const { return captions_.at(label); }
    std::pair<Twips, Twips> LabelPosition(Control label) const { return positions_.at(label); }
    WindowEvents& events() { return events_; }
    std::vector<Twips> heights;                  // every height set, in order
    std::vector<std::pair<Twips, Twips>> moves;  // every (Left, Top) after a position change

private:
    FakePlatform& platform_;
    const WindowDesign& design_;
    WindowEvents& events_;
    Handle handle_, iconHandle_, pictureWindow_, pictureHandle_;
    Twips left_ = 0, top_ = 0, width_, height_;
    bool shown_ = false;
    std::map<Control, Text> captions_;
    std::map<Control, std::pair<Twips, Twips>> positions_;
};

// Reads a NUL-terminated text field of the wire form through the fake's code page.
Text WireText(FakePlatform& platform, const NotifyIconWire& wire, std::size_t offset, std::size_t size);
std::int32_t WireInt(const NotifyIconWire& wire, std::size_t offset);

}  // namespace velmora::testing
