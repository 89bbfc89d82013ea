// The platform services on Qt 6 Widgets, with iconv and the fetch through the
// velmora-fetch helper process.
#pragma once

#include <random>

#include "platform/platform.h"
#include "platform/qt/handles.h"
#include "platform/qt/instance_lock.h"
#include "platform/qt/tray_icons.h"

namespace velmora::qt {

class QtPlatform final : public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

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
    void DeliverTrayCallback(Handle window, std::int32_t mouseMessage);

    HandleTable handles_;
    Handle windowIcon_;
    Handle trayPicture_;
    TrayIcons tray_;
    InstanceLock instanceLock_;
    std::mt19937 random_;
};

}  // namespace velmora::qt
