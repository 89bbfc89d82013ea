// The window, timer, screen, network and shell services that the logic relies
// on. The core is written against these interfaces only; each platform
// (Win32, Qt, the tests' fake) implements them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/design.h"
#include "core/errors.h"
#include "core/text.h"

namespace velmora {

// Window and icon handles as the logic stores them: 32-bit values (on 64-bit
// Windows user handles are sign-extended 32-bit values).
using Handle = std::int32_t;

struct MouseArgs {
    std::int16_t button = 1;  // 1 left, 2 right, 4 middle
    std::int16_t shift = 0;
    Twips x = 0, y = 0;  // in the control's scale (twips)
};

// What a native window reports back to the core. Calls arrive on the one
// thread, one at a time (or nested inside a pump).
class WindowEvents {
public:
    virtual void MouseDown(Control control, const MouseArgs& args) = 0;
    // Delivered to the control that received the press, even when the
    // pointer has left it meanwhile (the adapter captures the mouse).
    virtual void MouseUp(Control control, const MouseArgs& args) = 0;
    virtual void MouseMove(Control control, const MouseArgs& args) = 0;
    // Someone outside the program asks the window to close: the session is
    // ending, or a tool or an installer wants the program gone. The core
    // unloads the window its own way; the adapter destroys nothing itself.
    virtual void CloseRequested() = 0;

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
    virtual Handle hWnd() const = 0;
    virtual Twips Left() const = 0;
    virtual Twips Top() const = 0;
    virtual Twips Width() const = 0;
    virtual Twips Height() const = 0;
    virtual void SetLeft(Twips value) = 0;
    virtual void SetTop(Twips value) = 0;
    virtual void SetHeight(Twips value) = 0;
    // Visible, not modal, no owner window.
    virtual void Show() = 0;
    virtual void SetLabelCaption(Control label, const Text& caption) = 0;
    virtual void MoveLabel(Control label, Twips left, Twips top) = 0;
    virtual Handle ControlHandle(Control control) const = 0;  // a picture box's own window
    virtual Handle IconHandle() const = 0;                    // the window's icon
    virtual Handle PictureHandle(Control control) const = 0;  // a picture box's picture
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

// One transfer. Busy is true while it runs; Take then returns the document or
// throws a RuntimeError describing the failure.
class FetchRequest {
public:
    virtual ~FetchRequest() = default;
    virtual bool Busy() = 0;
    virtual FetchedDocument Take() = 0;
};

// The shell's notification-icon messages.
inline constexpr std::int32_t kNimAdd = 0;
inline constexpr std::int32_t kNimModify = 1;
inline constexpr std::int32_t kNimDelete = 2;
inline constexpr std::size_t kNotifyIconDataSize = 488;
using NotifyIconWire = std::array<std::uint8_t, kNotifyIconDataSize>;

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
    virtual std::optional<std::string> ReadFileBytes(const Text& path) = 0;
    [[noreturn]] virtual void End() = 0;
    virtual ScreenMetrics Screen() = 0;
    virtual void Randomize() = 0;  // reseed from the clock
    virtual float Rnd() = 0;       // [0, 1)
    // Called with errors that ended a handler that has no error route.
    virtual void ReportUnhandledError(const RuntimeError& error) = 0;

    // Modal message box owned by `owner` (0: none); returns the button pressed.
    virtual std::int32_t MsgBox(Handle owner, const Text& text, const Text& caption, std::int32_t style) = 0;
    virtual std::int32_t SetWindowPos(Handle window, Handle insertAfter, std::int32_t x, std::int32_t y,
                                      std::int32_t cx, std::int32_t cy, std::int32_t flags) = 0;
    virtual std::int32_t ShellExecuteLink(Handle owner, const Text& operation, const Text& file,
                                          const Text& parameters, const Text& directory,
                                          std::int32_t showCommand) = 0;
    // `data` is the 488-byte record; the shell may write back into it.
    virtual bool ShellNotifyIcon(std::int32_t message, NotifyIconWire& data) = 0;

    // Network and text.
    virtual std::unique_ptr<FetchRequest> OpenUrl(const Text& url) = 0;
    // The code page of the program's narrow ("A") system calls.
    virtual std::string ToAnsi(std::u16string_view text) = 0;
    virtual Text FromAnsi(std::string_view bytes) = 0;
    // Decodes bytes in the named charset; an empty name means the system's
    // legacy code page. Empty result: the charset is unknown here.
    virtual std::optional<Text> Decode(std::string_view bytes, std::string_view charset) = 0;
};

// Constants of the system calls the logic makes (named apart from the
// system headers' macros).
inline constexpr Handle kHwndTopmost = -1;
inline constexpr std::int32_t kSwpNoSize = 1;
inline constexpr std::int32_t kSwpNoMove = 2;
inline constexpr std::int32_t kMbYesNo = 4;
inline constexpr std::int32_t kMbIconStop = 16;
inline constexpr std::int32_t kIdYes = 6;
inline constexpr std::int32_t kIdNo = 7;
inline constexpr std::int32_t kSwShow = 5;
inline constexpr std::int32_t kWmMouseMove = 512;

}  // namespace velmora
