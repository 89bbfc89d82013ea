#include "platform/qt/qt_platform.h"

#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <chrono>
#include <cstdio>

#include "platform/common/config_file.h"
#include "platform/common/system_decode.h"
#include "platform/fetch/http_validators.h"
#include "platform/posix/spawn_fetch.h"
#include "platform/qt/main_window.h"
#include "platform/qt/message_box.h"
#include "platform/qt/popup_window.h"
#include "platform/qt/screen.h"
#include "platform/qt/timers.h"
#include "platform/qt/tray_icon.h"

namespace velmora::qt {
namespace {

// The artwork the Windows build embeds, compiled in as Qt resources.
constexpr char kWindowIconFile[] = ":/velmora/velmora.ico";
constexpr char kTrayIconFile[] = ":/velmora/tray.ico";

std::uint32_t ClockSeed() {
    return static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

WindowBase& OurWindow(NativeWindow& window) {
    return dynamic_cast<WindowBase&>(window);
}

}  // namespace

// Read as encoded: the link holds only URI characters and valid escapes, so
// Qt's tolerance has nothing left to repair except a host name written in
// escapes, which it turns into punycode as a browser would.
QUrl DesktopUrl(const Text& link) {
    return QUrl::fromEncoded(QString::fromStdU16String(link).toUtf8(), QUrl::TolerantMode);
}

QtPlatform::QtPlatform()
    : windowIcon_(kWindowIconFile),
      trayPicture_(kTrayIconFile),
      instanceLock_(InstanceLockFolder(std::getenv("XDG_RUNTIME_DIR"), getuid())),
      random_(ClockSeed()) {
    QApplication::setWindowIcon(windowIcon_);
}

QtPlatform::~QtPlatform() = default;

std::unique_ptr<NativeWindow> QtPlatform::LoadWindow(const WindowDesign& design, WindowEvents& events) {
    if (design.kind == WindowKind::MainWindow)
        return std::make_unique<MainWindow>(design, events, windowIcon_, trayPicture_);
    return std::make_unique<PopupWindow>(design, events);
}

std::unique_ptr<NativeTimer> QtPlatform::CreateTimer(std::function<void()> onTick) {
    return std::make_unique<Timer>(std::move(onTick));
}

// Sleeps in the event dispatcher until something arrives (input, a timer, a
// transfer's wake-up), then runs what is pending. Never spins.
void QtPlatform::PumpEvents() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtPlatform::PumpPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool QtPlatform::PreviousInstance() {
    return instanceLock_.HeldElsewhere();
}

Text QtPlatform::ProgramFolder() {
    return QCoreApplication::applicationDirPath().toStdU16String();
}

std::optional<std::string> QtPlatform::ReadFileBytes(const Text& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(TextToUtf8(path).c_str(), "rb"),
                                                               std::fclose);
    if (!file) return std::nullopt;
    return ReadConfigFile(file.get());
}

// At once, with no handler, destructor or Qt shutdown code after it. The
// X server and the session bus drop this client's windows and icon with
// its connection.
void QtPlatform::End() {
    std::fflush(nullptr);
    ::_exit(0);
}

ScreenMetrics QtPlatform::Screen() {
    return PrimaryScreenMetrics();
}

void QtPlatform::Randomize() {
    random_.Seed(ClockSeed());
}

float QtPlatform::Rnd() {
    return random_.Next();
}

void QtPlatform::ReportUnhandledError(const RuntimeError& error) {
    qWarning("velmora: unhandled error %d: %s", static_cast<int>(error.code()), error.what());
}

Answer QtPlatform::AskYesNo(NativeWindow* owner, const Text& question, const Text& caption) {
    return qt::AskYesNo(owner ? OurWindow(*owner).Window() : nullptr, question, caption);
}

void QtPlatform::ReportError(const Text& message, const Text& caption) {
    ShowError(message, caption);
}

// The desktop's URL handler (xdg-open) with the link as its one argument.
void QtPlatform::OpenLink(const Text& link) {
    QDesktopServices::openUrl(DesktopUrl(link));
}

std::unique_ptr<NativeTrayIcon> QtPlatform::CreateTrayIcon(NativeWindow& window, Control pictureBox,
                                                           std::function<void(TrayActivation)> onActivation) {
    const WindowBase& owner = OurWindow(window);
    return std::make_unique<TrayIcon>(owner.Lifetime(), owner.Picture(pictureBox), std::move(onActivation));
}

UserPresence QtPlatform::AskUserPresence() {
    return presence_.Ask();
}

void QtPlatform::WatchUserPresence(std::function<void()> mayHaveChanged) {
    presence_.Watch(std::move(mayHaveChanged));
}

// Each fetch runs in a velmora-fetch process of its own, looked up afresh, so
// that libcurl and its TLS stack never stay resident in this program.
std::unique_ptr<FetchRequest> QtPlatform::OpenUrl(const Text& url) {
    // From the transfer's thread: an empty queued call wakes a pump that
    // sleeps in WaitForMoreEvents so it reads the busy flag again.
    auto wake = [] {
        QMetaObject::invokeMethod(
            qApp, [] {}, Qt::QueuedConnection);
    };
    return StartSpawnFetch(url, std::move(wake), FindFetchHelper(), SharedValidatorCache());
}

std::optional<Text> QtPlatform::Decode(std::string_view bytes, std::string_view charset) {
    return SystemDecode(bytes, charset);
}

}  // namespace velmora::qt
