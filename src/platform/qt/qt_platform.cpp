#include "platform/qt/qt_platform.h"

#include <unistd.h>

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "platform/http_fetch.h"
#include "core/http_validators.h"
#include "platform/posix/spawn_fetch.h"
#include "platform/qt/main_window.h"
#include "platform/qt/message_box.h"
#include "platform/qt/popup_window.h"
#include "platform/qt/screen.h"
#include "platform/qt/timers.h"

namespace velmora::qt {
namespace {

// The artwork the Windows build embeds, compiled in as Qt resources.
constexpr char kWindowIconFile[] = ":/velmora/velmora.ico";
constexpr char kTrayIconFile[] = ":/velmora/tray.ico";

constexpr std::size_t kMaxConfigBytes = 1 << 20;  // only the first item is ever read
constexpr std::int32_t kLaunched = 42;            // ShellExecute: above 32 is success
constexpr std::int32_t kFileNotFound = 2;
constexpr std::int32_t kNoAssociation = 31;

}  // namespace

QtPlatform::QtPlatform()
    : windowIcon_(handles_.AddIcon(QIcon(kWindowIconFile))),
      trayPicture_(handles_.AddIcon(QIcon(kTrayIconFile))),
      tray_(handles_, [this](Handle window, std::int32_t message) { DeliverTrayCallback(window, message); }),
      instanceLock_(InstanceLockFolder(std::getenv("XDG_RUNTIME_DIR"), getuid())),
      random_(static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {
    QApplication::setWindowIcon(handles_.Find(windowIcon_)->icon);
}

QtPlatform::~QtPlatform() = default;

std::unique_ptr<NativeWindow> QtPlatform::LoadWindow(const WindowDesign& design, WindowEvents& events) {
    if (design.kind == WindowKind::MainWindow)
        return std::make_unique<MainWindow>(design, events, handles_, windowIcon_, trayPicture_);
    return std::make_unique<PopupWindow>(design, events, handles_);
}

std::unique_ptr<NativeTimer> QtPlatform::CreateTimer(std::function<void()> onTick) {
    return std::make_unique<QtTimer>(std::move(onTick));
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
    std::ifstream file(TextToUtf8(path), std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes(kMaxConfigBytes, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
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
    random_.seed(static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
}

float QtPlatform::Rnd() {
    // 24 random bits: exactly representable, so never rounds up to 1.
    return static_cast<float>(random_() >> 8) / 16777216.0f;
}

void QtPlatform::ReportUnhandledError(const RuntimeError& error) {
    qWarning("velmora: unhandled error %d: %s", static_cast<int>(error.code()), error.what());
}

std::int32_t QtPlatform::MsgBox(Handle owner, const Text& text, const Text& caption, std::int32_t style) {
    const HandleTarget* target = owner ? handles_.Find(owner) : nullptr;
    return ShowMessageBox(target ? target->window.data() : nullptr, text, caption, style);
}

// Only the z-order part is carried out: the core always passes
// SWP_NOMOVE + SWP_NOSIZE and keeps the geometry itself.
std::int32_t QtPlatform::SetWindowPos(Handle window, Handle insertAfter, std::int32_t, std::int32_t,
                                      std::int32_t, std::int32_t, std::int32_t) {
    const HandleTarget* target = handles_.Find(window);
    if (!target || !target->window) return 0;
    QWidget* widget = target->window;
    // Changing window flags re-creates a shown window; the pop-up is made
    // stays-on-top from the start, so this only touches the hidden main window.
    if (insertAfter == kHwndTopmost && !(widget->windowFlags() & Qt::WindowStaysOnTopHint) &&
        !widget->isVisible())
        widget->setWindowFlag(Qt::WindowStaysOnTopHint);
    if (widget->isVisible()) widget->raise();  // raise, never activate
    return 1;
}

// The desktop's URL handler (xdg-open) with the link as its one argument.
// Verb, parameters, folder and show command have no counterpart there.
std::int32_t QtPlatform::ShellExecuteLink(Handle, const Text&, const Text& file, const Text&, const Text&,
                                          std::int32_t) {
    const QUrl url(QString::fromStdU16String(file), QUrl::TolerantMode);
    if (file.empty() || !url.isValid()) return kFileNotFound;
    // The core lets only web addresses through; a second look costs nothing
    // and keeps file: and program paths away from the desktop's opener.
    const QString scheme = url.scheme().toLower();
    if (scheme != "http" && scheme != "https") return kNoAssociation;
    return QDesktopServices::openUrl(url) ? kLaunched : kNoAssociation;
}

bool QtPlatform::ShellNotifyIcon(std::int32_t message, NotifyIconWire& data) {
    return tray_.Notify(message, data);
}

// The icon's clicks reach the picture box as mouse moves whose X is the
// mouse message number in pixels, in twips, as the shell's callback would.
void QtPlatform::DeliverTrayCallback(Handle window, std::int32_t mouseMessage) {
    const HandleTarget* target = handles_.Find(window);
    if (!target || !target->events) return;  // the window has gone meanwhile
    MouseArgs args;
    args.button = 0;
    args.x = static_cast<Twips>(mouseMessage) * TwipsPerPixelX();
    target->events->MouseMove(target->control, args);
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

// The core's narrow texts are UTF-8 here: nothing is lost whatever the locale.
std::string QtPlatform::ToAnsi(std::u16string_view text) {
    return TextToUtf8(text);
}
Text QtPlatform::FromAnsi(std::string_view bytes) {
    return Utf8ToText(bytes);
}

std::optional<Text> QtPlatform::Decode(std::string_view bytes, std::string_view charset) {
    return SystemDecode(bytes, charset);
}

}  // namespace velmora::qt
