#include "platform/win32/window_base.h"

#include <algorithm>

#include "platform/win32/native_calls.h"
#include "platform/win32/units.h"

namespace velmora::win32 {
namespace {

static_assert(kSwpNoSize == SWP_NOSIZE && kSwpNoMove == SWP_NOMOVE && kSwpNoActivate == SWP_NOACTIVATE);

constexpr UINT kPlaceMessage = WM_APP + 1;

LRESULT CALLBACK RouteMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* target = reinterpret_cast<MessageTarget*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return target ? target->OnMessage(hwnd, message, wParam, lParam)
                  : DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, HBRUSH background) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, name, &wc)) return;
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = RouteMessage;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

void AttachTarget(HWND hwnd, MessageTarget* target) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(target));
}

WindowBase::WindowBase(const WindowDesign& design, int dpi, DWORD exStyle, const wchar_t* className,
                       DWORD style, HINSTANCE instance)
    : dpi_(dpi), width_(ToPixels(design.width)), height_(ToPixels(design.height)) {
    hwnd_ = CreateWindowExW(exStyle, className, Wide(design.caption), style, left_, top_, width_, height_,
                            nullptr, nullptr, instance, nullptr);
    if (!hwnd_) throw RuntimeError(ErrorCode::Platform, "CreateWindowEx failed");
}

WindowBase::~WindowBase() {
    AttachTarget(hwnd_, nullptr);
    DestroyWindow(hwnd_);
}

Twips WindowBase::ToTwips(int pixels) const {
    return PixelsToTwips(pixels, TwipsPerPixel(dpi_));
}

int WindowBase::ToPixels(Twips twips) const {
    return TwipsToPixels(twips, TwipsPerPixel(dpi_));
}

void WindowBase::SetLeft(Twips value) {
    left_ = ToPixels(value);
    Place();
}

void WindowBase::SetTop(Twips value) {
    top_ = ToPixels(value);
    Place();
}

void WindowBase::SetHeight(Twips value) {
    height_ = std::max(0, ToPixels(value));
    Place();
}

void WindowBase::KeepOnTop() {
    const WindowPosCall call = KeepOnTopCall();
    SetWindowPos(hwnd_, reinterpret_cast<HWND>(call.insertAfter), call.x, call.y, call.cx, call.cy,
                 call.flags);
}

void WindowBase::Place() {
    if (placementPending_) return;
    placementPending_ = PostMessageW(hwnd_, kPlaceMessage, 0, 0) != FALSE;
    if (!placementPending_) ApplyPlacement();
}

void WindowBase::ApplyPlacement() {
    SetWindowPos(hwnd_, nullptr, left_, top_, width_, height_, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT WindowBase::OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == hwnd_ && message == kPlaceMessage) {
        placementPending_ = false;
        ApplyPlacement();
        return 0;
    }
    return OnWindowMessage(hwnd, message, wParam, lParam);
}

}  // namespace velmora::win32
