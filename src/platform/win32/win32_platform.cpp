#include "platform/win32/win32_platform.h"

#include <objbase.h>
#include <shellapi.h>

#include "platform/http_fetch.h"
#include "platform/win32/main_window.h"
#include "platform/win32/popup_window.h"
#include "platform/win32/shell_link.h"
#include "platform/win32/units.h"

namespace velmora::win32 {
namespace {

// Per session: another user's copy on the same machine is not "already running".
constexpr wchar_t kInstanceMutexName[] = L"Local\\Velmora.SingleInstance";
constexpr std::size_t kMaxConfigBytes = 1 << 20;

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
      tray_(*this),
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
        return std::make_unique<MainWindow>(instance_, design, events, [this] { tray_.AddAgain(); });
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
    HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof(buffer), &read, nullptr) != FALSE) && read > 0) {
        bytes.append(buffer, read);
        if (bytes.size() > kMaxConfigBytes) break;  // only the first item is ever read
    }
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return bytes;
}

void Win32Platform::End() {
    ExitProcess(0);
}

ScreenMetrics Win32Platform::Screen() {
    const int dpi = ScreenDpi();
    const float twipsPerPixel = TwipsPerPixel(dpi);
    return ScreenMetrics{PixelsToTwips(GetSystemMetrics(SM_CXSCREEN), dpi),
                         PixelsToTwips(GetSystemMetrics(SM_CYSCREEN), dpi), twipsPerPixel, twipsPerPixel};
}

void Win32Platform::Randomize() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    random_.seed(static_cast<std::uint32_t>(now.QuadPart ^ (now.QuadPart >> 32)));
}

float Win32Platform::Rnd() {
    // 24 random bits: exactly representable, so never rounds up to 1.
    return static_cast<float>(random_() >> 8) / 16777216.0f;
}

void Win32Platform::ReportUnhandledError(const RuntimeError& error) {
    const std::string what = std::string("Velmora: unhandled error ") +
                             std::to_string(static_cast<int>(error.code())) + ": " + error.what() + "\n";
    const Text text = Utf8ToText(what);
    OutputDebugStringW(Wide(text));
}

std::int32_t Win32Platform::MsgBox(Handle owner, const Text& text, const Text& caption, std::int32_t style) {
    // The program has no visible window: without the foreground request a
    // start-up message could open behind the user's windows.
    return MessageBoxW(FromHandle<HWND>(owner), Wide(text), Wide(caption),
                       static_cast<UINT>(style) | MB_SETFOREGROUND);
}

std::int32_t Win32Platform::SetWindowPos(Handle window, Handle insertAfter, std::int32_t x, std::int32_t y,
                                         std::int32_t cx, std::int32_t cy, std::int32_t flags) {
    // Never activate: the pop-up must not take the focus from the user.
    return ::SetWindowPos(FromHandle<HWND>(window), FromHandle<HWND>(insertAfter), x, y, cx, cy,
                          static_cast<UINT>(flags) | SWP_NOACTIVATE);
}

std::int32_t Win32Platform::ShellExecuteLink(Handle owner, const Text& operation, const Text& file,
                                             const Text& parameters, const Text& directory,
                                             std::int32_t showCommand) {
    HINSTANCE result = ShellExecuteW(FromHandle<HWND>(owner), Wide(operation), Wide(EncodeLinkForShell(file)),
                                     Wide(parameters), Wide(directory), showCommand);
    return static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(result));
}

bool Win32Platform::ShellNotifyIcon(std::int32_t message, NotifyIconWire& data) {
    return tray_.Notify(message, data);
}

std::unique_ptr<FetchRequest> Win32Platform::OpenUrl(const Text& url) {
    return StartHttpFetch(url, [wake = wake_] { SetEvent(wake); });
}

// The core's narrow texts are UTF-8: no character is lost whatever the
// system's ANSI code page, and the adapter widens them at every system call.
std::string Win32Platform::ToAnsi(std::u16string_view text) {
    return TextToUtf8(text);
}
Text Win32Platform::FromAnsi(std::string_view bytes) {
    return Utf8ToText(bytes);
}

std::optional<Text> Win32Platform::Decode(std::string_view bytes, std::string_view charset) {
    return SystemDecode(bytes, charset);
}

}  // namespace velmora::win32
