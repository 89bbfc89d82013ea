#include "platform/win32/win32_platform.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/common/config_file.h"
#include "platform/common/system_decode.h"
#include "platform/fetch/http_fetch.h"
#include "platform/win32/main_window.h"
#include "platform/win32/native_calls.h"
#include "platform/win32/popup_window.h"
#include "platform/win32/units.h"
#include "platform/win32/user_notification_state.h"

namespace velmora::win32 {
namespace {

// Per session: another user's copy on the same machine is not "already running".
constexpr wchar_t kInstanceMutexName[] = L"Local\\Velmora.SingleInstance";

static_assert(kMbYesNo == MB_YESNO && kMbIconStop == MB_ICONSTOP && kMbSetForeground == MB_SETFOREGROUND &&
              kIdYes == IDYES && kSwShow == SW_SHOW);
static_assert(kQunsNotPresent == QUNS_NOT_PRESENT && kQunsBusy == QUNS_BUSY &&
              kQunsRunningD3dFullScreen == QUNS_RUNNING_D3D_FULL_SCREEN &&
              kQunsPresentationMode == QUNS_PRESENTATION_MODE &&
              kQunsAcceptsNotifications == QUNS_ACCEPTS_NOTIFICATIONS);

void DispatchPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave it for the outermost loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

Win32Platform::Win32Platform(HINSTANCE instance)
    : instance_(instance),
      wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      timers_(instance),
      random_(static_cast<std::uint32_t>(GetTickCount64())) {
    // Single-threaded apartment: the imaging component and ShellExecute
    // want COM on this thread.
    comReady_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    MainWindow::RegisterClasses(instance_);
    PopupWindow::RegisterClasses(instance_);
}

Win32Platform::~Win32Platform() {
    if (instanceMutex_) CloseHandle(instanceMutex_);
    CloseHandle(wake_);
    if (comReady_) CoUninitialize();
}

int Win32Platform::RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

std::unique_ptr<NativeWindow> Win32Platform::LoadWindow(const WindowDesign& design, WindowEvents& events) {
    if (design.kind == WindowKind::MainWindow)
        return std::make_unique<MainWindow>(instance_, design, events, trayIcons_, sessionChanged_);
    // The screen metrics the pop-up's placement reads follow the same DPI.
    UpdateScreenDpi();
    return std::make_unique<PopupWindow>(instance_, design, events, ScreenDpi());
}

std::unique_ptr<NativeTimer> Win32Platform::CreateTimer(std::function<void()> onTick) {
    return timers_.Create(std::move(onTick));
}

// Sleeps in the kernel until a message arrives or a transfer signals its end,
// then runs everything that is pending.
void Win32Platform::PumpEvents() {
    MsgWaitForMultipleObjectsEx(1, &wake_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    DispatchPending();
}

void Win32Platform::PumpPendingEvents() {
    DispatchPending();
}

bool Win32Platform::PreviousInstance() {
    if (!instanceMutex_) instanceMutex_ = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
    return instanceMutex_ && GetLastError() == ERROR_ALREADY_EXISTS;
}

Text Win32Platform::ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) throw RuntimeError(ErrorCode::Platform, "GetModuleFileName failed");
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.erase(path.find_last_of(L"\\/") == std::wstring::npos ? 0 : path.find_last_of(L"\\/"));
    return FromWide(path.data(), path.size());
}

std::optional<std::string> Win32Platform::ReadFileBytes(const Text& path) {
    std::FILE* file = _wfopen(Wide(path), L"rb");
    std::optional<std::string> bytes = ReadConfigFile(file);
    if (file) std::fclose(file);
    return bytes;
}

void Win32Platform::End() {
    ExitProcess(0);
}

ScreenMetrics Win32Platform::Screen() {
    const float twipsPerPixel = TwipsPerPixel(ScreenDpi());
    return ScreenMetrics{PixelsToTwips(GetSystemMetrics(SM_CXSCREEN), twipsPerPixel),
                         PixelsToTwips(GetSystemMetrics(SM_CYSCREEN), twipsPerPixel), twipsPerPixel,
                         twipsPerPixel};
}

void Win32Platform::Randomize() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    random_.Seed(static_cast<std::uint32_t>(now.QuadPart ^ (now.QuadPart >> 32)));
}

float Win32Platform::Rnd() {
    return random_.Next();
}

void Win32Platform::ReportUnhandledError(const RuntimeError& error) {
    const std::string what = std::string("Velmora: unhandled error ") +
                             std::to_string(static_cast<int>(error.code())) + ": " + error.what() + "\n";
    const Text text = Utf8ToText(what);
    OutputDebugStringW(Wide(text));
}

Answer Win32Platform::AskYesNo(NativeWindow* owner, const Text& question, const Text& caption) {
    const MessageBoxCall call = QuestionCall(question, caption);
    const auto* ownerWindow = dynamic_cast<const WindowBase*>(owner);
    return AnswerOf(MessageBoxW(ownerWindow ? ownerWindow->Window() : nullptr, Wide(call.text),
                                Wide(call.caption), call.style));
}

void Win32Platform::ReportError(const Text& message, const Text& caption) {
    const MessageBoxCall call = ErrorCall(message, caption);
    MessageBoxW(nullptr, Wide(call.text), Wide(call.caption), call.style);
}

void Win32Platform::OpenLink(const Text& link) {
    const ShellExecuteCall call = OpenLinkCall(link);
    ShellExecuteW(nullptr, Wide(call.operation), Wide(call.file), Wide(call.parameters), Wide(call.directory),
                  call.showCommand);
}

std::unique_ptr<NativeTrayIcon> Win32Platform::CreateTrayIcon(
    NativeWindow& window, Control pictureBox, std::function<void(TrayActivation)> onActivation) {
    auto* main = dynamic_cast<MainWindow*>(&window);
    if (!main) throw RuntimeError(ErrorCode::Platform, "the window has no picture box");
    return trayIcons_.Create(main->PictureBox(pictureBox), main->Picture(pictureBox),
                             std::move(onActivation));
}

// Screen saver, lock, full-screen programs and presentation mode, as the
// shell weighs them for its own notifications.
UserPresence Win32Platform::AskUserPresence() {
    QUERY_USER_NOTIFICATION_STATE state{};
    const HRESULT result = SHQueryUserNotificationState(&state);
    return PresenceOf(SUCCEEDED(result), static_cast<int>(state));
}

// The session's lock and unlock come as messages to the main window; the
// rest (full-screen programs, presentation mode) has no news and is asked.
void Win32Platform::WatchUserPresence(std::function<void()> mayHaveChanged) {
    sessionChanged_ = std::move(mayHaveChanged);
}

std::unique_ptr<FetchRequest> Win32Platform::OpenUrl(const Text& url) {
    return StartHttpFetch(url, [wake = wake_] { SetEvent(wake); });
}

std::optional<Text> Win32Platform::Decode(std::string_view bytes, std::string_view charset) {
    return SystemDecode(bytes, charset);
}

}  // namespace velmora::win32
