// What the program needs from a desktop: windows with labels, timers, a wait
// for events, the screen's size, a feed fetched, a link opened, a question
// asked, an icon in the notification area. The core is written against these
// interfaces only; each platform (Win32, Qt, the tests' fake) implements them
// with its own means.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/design.h"
#include "core/errors.h"
#include "core/result.h"
#include "core/text.h"

namespace velmora {

// Mouse buttons as the labels' handlers receive them.
enum MouseButton : std::int16_t { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };

struct MouseArgs {
    std::int16_t button = kLeftButton;
    std::int16_t shift = 0;
    Twips x = 0, y = 0;  // in the label's scale (twips)
};

// What a native window reports back to the core. Calls arrive on the one
// thread, one at a time (or nested inside a pump).
class WindowEvents {
public:
    virtual void MouseDown(Control label, const MouseArgs& args) = 0;
    // Delivered to the label that received the press, even when the pointer
    // has left it meanwhile (the adapter captures the mouse).
    virtual void MouseUp(Control label, const MouseArgs& args) = 0;
    // Someone outside the program asks the window to close: the session is
    // ending, or a tool or an installer wants the program gone. The core
    // unloads the window its own way; the adapter destroys nothing itself.
    virtual void CloseRequested() = 0;
    // Assistive technology asks for a link's or a button's default action.
    // No mouse is involved, so nothing is shown pressed.
    virtual void Invoke(Control label) = 0;

protected:
    ~WindowEvents() = default;
};

// A loaded window. Geometry is in twips of the whole window; the adapter may
// keep sizes in whole pixels and report the adjusted value when read back.
// Destroying the object destroys the window; this may happen inside one of
// the window's own callbacks, so adapters must defer freeing what is in use.
class NativeWindow {
public:
    virtual ~NativeWindow() = default;
    virtual Twips Left() const = 0;
    virtual Twips Top() const = 0;
    virtual Twips Width() const = 0;
    virtual Twips Height() const = 0;
    virtual void SetLeft(Twips value) = 0;
    virtual void SetTop(Twips value) = 0;
    virtual void SetHeight(Twips value) = 0;
    // Visible, not modal, no owner window.
    virtual void Show() = 0;
    // Above every window that is not itself kept on top, from now on,
    // without taking the focus, moving or resizing.
    virtual void KeepOnTop() = 0;
    // Tells assistive technology, once and politely, that the window now
    // shows a notice with this name (its title) and description (its text).
    // The focus stays where it is.
    virtual void Announce(const Text& name, const Text& description) = 0;
    virtual void SetLabelCaption(Control label, const Text& caption) = 0;
    virtual void MoveLabel(Control label, Twips left, Twips top) = 0;
};

// A periodic timer. Start while running changes nothing.
class NativeTimer {
public:
    virtual ~NativeTimer() = default;
    virtual void Start(std::uint32_t intervalMs) = 0;
    virtual void Stop() = 0;
};

struct ScreenMetrics {
    Twips width, height;   // the whole primary screen
    float twipsPerPixelX;  // horizontal
    float twipsPerPixelY;
};

// The raw result of a fetch; the core decodes it into text.
struct FetchedDocument {
    std::string body;
    std::string headerCharset;  // from Content-Type, empty when none
};

// One transfer. Busy is true while it runs; Take then gives the document or
// why there is none.
class FetchRequest {
public:
    virtual ~FetchRequest() = default;
    virtual bool Busy() = 0;
    virtual Result<FetchedDocument> Take() = 0;
};

// What the user did to the notification-area icon: the mouse's presses,
// releases and double-clicks, or, with the icon chosen from the keyboard,
// Enter or the context-menu key.
enum class TrayActivation {
    LeftDown,
    LeftUp,
    LeftDoubleClick,
    RightDown,
    RightUp,
    RightDoubleClick,
    KeyboardSelect
};

// What the icon shows: the tip on hover, and a balloon once its title or
// text is set (empty: none).
struct TrayIconContent {
    Text tip;
    Text balloonTitle, balloonText;
};

// The program's icon in the notification area. Nothing shows until Add; the
// object may outlive the window it was made for, and then only Remove is
// called, which does nothing.
class NativeTrayIcon {
public:
    virtual ~NativeTrayIcon() = default;
    virtual void Add(const TrayIconContent& content) = 0;
    virtual void Update(const TrayIconContent& content) = 0;
    // Also for an icon that was never added or is already gone.
    virtual void Remove() = 0;
};

enum class Answer { Yes, No };

class Platform {
public:
    virtual ~Platform() = default;

    // Windows, timers and events.
    virtual std::unique_ptr<NativeWindow> LoadWindow(const WindowDesign& design, WindowEvents& events) = 0;
    virtual std::unique_ptr<NativeTimer> CreateTimer(std::function<void()> onTick) = 0;
    // For wait loops: blocks until at least one event (input, timer, transfer
    // completion) has arrived, runs every pending one, then returns. Never spins.
    virtual void PumpEvents() = 0;
    // Runs every event that is already pending, then returns without waiting.
    virtual void PumpPendingEvents() = 0;

    // Process and environment.
    virtual bool PreviousInstance() = 0;
    virtual Text ProgramFolder() = 0;
    // A small file's bytes (the adapters read at most kConfigFileLimit);
    // empty when it cannot be read.
    virtual std::optional<std::string> ReadFileBytes(const Text& path) = 0;
    [[noreturn]] virtual void End() = 0;
    virtual ScreenMetrics Screen() = 0;
    virtual void Randomize() = 0;  // reseed from the clock
    virtual float Rnd() = 0;       // [0, 1)
    // Called with errors that ended a handler that has no error route.
    virtual void ReportUnhandledError(const RuntimeError& error) = 0;

    // The desktop's services.
    // A modal question with Yes and No, owned by `owner` when given. Anything
    // but a press of Yes (the box failing to open, say) is No.
    virtual Answer AskYesNo(NativeWindow* owner, const Text& question, const Text& caption) = 0;
    // A modal error message with a stop sign and one button, owned by nothing.
    virtual void ReportError(const Text& message, const Text& caption) = 0;
    // Opens a web address in the user's browser, as given: the core has
    // judged it (http or https with a host) and percent-encoded it, so it
    // holds only URI characters. Whether it worked is not reported, as
    // nobody would act on it.
    virtual void OpenLink(const Text& link) = 0;
    // An icon showing the picture of `window`'s picture box `pictureBox`;
    // its activations go to `onActivation`, each as an event of its own.
    virtual std::unique_ptr<NativeTrayIcon> CreateTrayIcon(
        NativeWindow& window, Control pictureBox, std::function<void(TrayActivation)> onActivation) = 0;

    // Network and text.
    virtual std::unique_ptr<FetchRequest> OpenUrl(const Text& url) = 0;
    // Decodes bytes in the named charset; an empty name means the system's
    // legacy code page. Empty result: the charset is unknown here.
    virtual std::optional<Text> Decode(std::string_view bytes, std::string_view charset) = 0;
};

// Configuration files are read to this size at most: only their first item
// is ever used.
inline constexpr std::size_t kConfigFileLimit = 1 << 20;

}  // namespace velmora
