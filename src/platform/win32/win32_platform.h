// The platform services on Win32, for the one thread of the program.
#pragma once

#include "platform/common/unit_random.h"
#include "platform/platform.h"
#include "platform/win32/timers.h"
#include "platform/win32/tray_icon.h"
#include "platform/win32/win32_api.h"

namespace velmora::win32 {

class Win32Platform final : public Platform {
public:
    explicit Win32Platform(HINSTANCE instance);
    ~Win32Platform() override;

    // The program's message loop, after start-up.
    int RunMessageLoop();

    std::unique_ptr<NativeWindow> LoadWindow(const WindowDesign& design, WindowEvents& events) override;
    std::unique_ptr<NativeTimer> CreateTimer(std::function<void()> onTick) override;
    void PumpEvents() override;
    void PumpPendingEvents() override;

    bool PreviousInstance() override;
    Text ProgramFolder() override;
    std::optional<std::string> ReadFileBytes(const Text& path) override;
    [[noreturn]] void End() override;
    ScreenMetrics Screen() override;
    void Randomize() override;
    float Rnd() override;
    void ReportUnhandledError(const RuntimeError& error) override;

    Answer AskYesNo(NativeWindow* owner, const Text& question, const Text& caption) override;
    void ReportError(const Text& message, const Text& caption) override;
    void OpenLink(const Text& link) override;
    std::unique_ptr<NativeTrayIcon> CreateTrayIcon(NativeWindow& window, Control pictureBox,
                                                   std::function<void(TrayActivation)> onActivation) override;
    UserPresence AskUserPresence() override;
    void WatchUserPresence(std::function<void()> mayHaveChanged) override;

    std::unique_ptr<FetchRequest> OpenUrl(const Text& url) override;
    std::optional<Text> Decode(std::string_view bytes, std::string_view charset) override;

private:
    HINSTANCE instance_;
    HANDLE wake_;  // signalled by a finished transfer
    HANDLE instanceMutex_ = nullptr;
    bool comReady_ = false;
    TimerHost timers_;
    TrayIcons trayIcons_;
    UnitRandom random_;
    // Run by the main window on the session's lock, unlock and switch.
    std::function<void()> sessionChanged_;
};

}  // namespace velmora::win32
