// The platform services on Qt 6 Widgets, with iconv and the fetch through the
// velmora-fetch helper process.
#pragma once

#include <QIcon>
#include <QUrl>

#include "platform/common/unit_random.h"
#include "platform/platform.h"
#include "platform/qt/instance_lock.h"

namespace velmora::qt {

// The address the desktop's opener gets for a link the core has judged and
// encoded. Qt writes it back unchanged, but for an international host name,
// which it spells in punycode.
QUrl DesktopUrl(const Text& link);

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

    Answer AskYesNo(NativeWindow* owner, const Text& question, const Text& caption) override;
    void ReportError(const Text& message, const Text& caption) override;
    void OpenLink(const Text& link) override;
    std::unique_ptr<NativeTrayIcon> CreateTrayIcon(NativeWindow& window, Control pictureBox,
                                                   std::function<void(TrayActivation)> onActivation) override;

    std::unique_ptr<FetchRequest> OpenUrl(const Text& url) override;
    std::optional<Text> Decode(std::string_view bytes, std::string_view charset) override;

private:
    QIcon windowIcon_;
    QIcon trayPicture_;
    InstanceLock instanceLock_;
    UnitRandom random_;
};

}  // namespace velmora::qt
