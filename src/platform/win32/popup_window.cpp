#include "platform/win32/popup_window.h"

#include <windowsx.h>

#include "platform/win32/units.h"

namespace velmora::win32 {
namespace {

constexpr wchar_t kPopupClass[] = L"VelmoraMessage";

HFONT CreateDesignFont(const FontDesign& font) {
    LOGFONTW log{};
    if (font.windowDefault) {
        // The platform's default dialog font: the one message boxes use.
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        log = metrics.lfMessageFont;
    } else {
        log.lfHeight = PointsToFontHeight(font.points);
        log.lfWeight = font.weight;
        log.lfCharSet = static_cast<BYTE>(font.charset);
        // When the face is missing, the charset steers the font mapper to a
        // face that has the characters.
        lstrcpynW(log.lfFaceName, Wide(font.face), LF_FACESIZE);
    }
    return CreateFontIndirectW(&log);
}

RECT LabelBounds(Twips left, Twips top, Twips width, Twips height) {
    const int x = TwipsToPixelsX(left), y = TwipsToPixelsY(top);
    return RECT{x, y, x + TwipsToPixelsX(width), y + TwipsToPixelsY(height)};
}

std::int16_t ButtonOfMessage(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            return 1;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            return 2;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            return 4;
        default:
            return 0;
    }
}

// The class has no CS_DBLCLKS: a second click comes as a second press.
bool IsPress(UINT message) {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
}

}  // namespace

void PopupWindow::RegisterClasses(HINSTANCE instance) {
    RegisterWindowClass(instance, kPopupClass, WindowProc, nullptr);
}

PopupWindow::PopupWindow(HINSTANCE instance, const WindowDesign& design, WindowEvents& events,
                         HBITMAP background)
    // Tool window: no taskbar button. No-activate: clicks and showing leave
    // the focus where the user has it.
    : WindowBase(design, WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPopupClass, WS_POPUP,
                 instance),
      events_(events),
      background_(background),
      designHeight_(TwipsToPixelsY(design.height)) {
    for (const auto& label : design.labels) {
        HFONT& font = label.font.windowDefault ? dialogFont_ : songFont_;
        if (!font) font = CreateDesignFont(label.font);
        const COLORREF colour = label.color ? RGB(label.color->red, label.color->green, label.color->blue)
                                            : GetSysColor(COLOR_BTNTEXT);
        labels_.push_back(Label{label.id, ToWide(label.caption),
                                LabelBounds(label.left, label.top, label.width, label.height),
                                LabelLook{font, colour, label.alignment == Alignment::Centre}});
    }
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

PopupWindow::~PopupWindow() {
    if (pressed_) ReleaseCapture();
    if (songFont_) DeleteObject(songFont_);
    if (dialogFont_) DeleteObject(dialogFont_);
}

void PopupWindow::Show() {
    shown_ = true;
    Place();
}

// A height of 0 is a real state of the slide: the window is then hidden
// rather than left as a one-pixel speck.
void PopupWindow::ApplyPlacement() {
    const bool visible = shown_ && height_ > 0;
    SetWindowPos(hwnd_, nullptr, left_, top_, width_, std::max(height_, 1),
                 SWP_NOZORDER | SWP_NOACTIVATE | (visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void PopupWindow::SetLabelCaption(Control label, const Text& caption) {
    if (Label* found = Find(label)) {
        found->caption = ToWide(caption);
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

void PopupWindow::MoveLabel(Control label, Twips left, Twips top) {
    if (Label* found = Find(label)) {
        const LONG width = found->bounds.right - found->bounds.left,
                   height = found->bounds.bottom - found->bounds.top;
        found->bounds.left = TwipsToPixelsX(left);
        found->bounds.top = TwipsToPixelsY(top);
        found->bounds.right = found->bounds.left + width;
        found->bounds.bottom = found->bounds.top + height;
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

Handle PopupWindow::ControlHandle(Control) const {
    throw RuntimeError(ErrorCode::Platform, "the pop-up has no picture box");
}

PopupWindow::Label* PopupWindow::Find(Control id) {
    for (auto& label : labels_)
        if (label.id == id) return &label;
    return nullptr;
}

PopupWindow::Label* PopupWindow::HitTest(POINT point) {
    for (auto& label : labels_)
        if (PtInRect(&label.bounds, point)) return &label;
    return nullptr;
}

MouseArgs PopupWindow::ArgsFor(const Label& label, std::int16_t button, WPARAM keys, LPARAM lParam) const {
    MouseArgs args;
    args.button = button;
    args.shift = static_cast<std::int16_t>(((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) |
                                           (GetKeyState(VK_MENU) < 0 ? 4 : 0));
    args.x = PixelsToTwipsX(GET_X_LPARAM(lParam) - label.bounds.left);
    args.y = PixelsToTwipsY(GET_Y_LPARAM(lParam) - label.bounds.top);
    return args;
}

bool PopupWindow::OnButton(UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsPress(message)) {
        if (pressed_) return true;  // a second button while one is held
        Label* label = HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (!label) return false;
        const std::int16_t button = ButtonOfMessage(message);
        pressed_ = label->id;
        pressedButton_ = button;
        SetCapture(hwnd_);
        events_.MouseDown(label->id, ArgsFor(*label, button, wParam, lParam));
        return true;
    }
    if (!pressed_ || ButtonOfMessage(message) != pressedButton_) return false;
    const Control id = *pressed_;
    pressed_.reset();
    ReleaseCapture();
    const MouseArgs args = ArgsFor(*Find(id), pressedButton_, wParam, lParam);
    events_.MouseUp(id, args);  // may unload the pop-up: nothing after this
    return true;
}

void PopupWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    RECT client;
    GetClientRect(hwnd_, &client);
    // Drawn off-screen at the full design size, so the growing window shows
    // the picture's top part without flicker.
    const int height = std::max<int>(client.bottom, designHeight_);
    HDC canvas = CreateCompatibleDC(dc);
    HBITMAP buffer = CreateCompatibleBitmap(dc, client.right, height);
    HGDIOBJ oldBuffer = SelectObject(canvas, buffer);
    RECT all{0, 0, client.right, height};
    FillRect(canvas, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (background_) {
        BITMAP info{};
        GetObjectW(background_, sizeof(info), &info);
        HDC picture = CreateCompatibleDC(dc);
        HGDIOBJ oldPicture = SelectObject(picture, background_);
        BitBlt(canvas, 0, 0, info.bmWidth, info.bmHeight, picture, 0, 0, SRCCOPY);
        SelectObject(picture, oldPicture);
        DeleteDC(picture);
    }
    for (const auto& label : labels_) PaintLabel(canvas, label.bounds, label.caption, label.look);
    BitBlt(dc, 0, 0, client.right, client.bottom, canvas, 0, 0, SRCCOPY);
    SelectObject(canvas, oldBuffer);
    DeleteObject(buffer);
    DeleteDC(canvas);
    EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK PopupWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PopupWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (self->OnPlacementMessage(message)) return 0;
    switch (message) {
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            self->Paint();
            return 0;
        case WM_CLOSE:
            // The core unloads the pop-up its own way; that may destroy
            // this window, so nothing of it is touched afterwards.
            self->events_.CloseRequested();
            return 0;
        case WM_CAPTURECHANGED:
            // Capture taken away (another window, a menu): no release follows.
            if (reinterpret_cast<HWND>(lParam) != hwnd) self->pressed_.reset();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            if (self->OnButton(message, wParam, lParam)) return 0;
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace velmora::win32
