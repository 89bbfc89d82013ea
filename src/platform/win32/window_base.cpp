#include "platform/win32/window_base.h"

#include "platform/win32/units.h"

namespace velmora::win32 {

WindowBase::WindowBase(const WindowDesign& design, int dpi, DWORD exStyle, const wchar_t* className,
                       DWORD style, HINSTANCE instance)
    : dpi_(dpi), width_(ToPixels(design.width)), height_(ToPixels(design.height)) {
    hwnd_ = CreateWindowExW(exStyle, className, Wide(design.caption), style, left_, top_, width_, height_,
                            nullptr, nullptr, instance, nullptr);
    if (!hwnd_) throw RuntimeError(ErrorCode::Platform, "CreateWindowEx failed");
}

WindowBase::~WindowBase() {
    // The window procedure must not reach this object once it is gone.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

Twips WindowBase::ToTwips(int pixels) const {
    return PixelsToTwips(pixels, dpi_);
}

int WindowBase::ToPixels(Twips twips) const {
    return TwipsToPixels(twips, dpi_);
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

namespace {
constexpr UINT kPlaceMessage = WM_APP + 1;
}

void WindowBase::Place() {
    if (placementPending_) return;
    placementPending_ = PostMessageW(hwnd_, kPlaceMessage, 0, 0) != FALSE;
    if (!placementPending_) ApplyPlacement();
}

bool WindowBase::OnPlacementMessage(UINT message) {
    if (message != kPlaceMessage) return false;
    placementPending_ = false;
    ApplyPlacement();
    return true;
}

void WindowBase::ApplyPlacement() {
    SetWindowPos(hwnd_, nullptr, left_, top_, width_, height_, SWP_NOZORDER | SWP_NOACTIVATE);
}

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HBRUSH background) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, name, &wc)) return;
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

}  // namespace velmora::win32
