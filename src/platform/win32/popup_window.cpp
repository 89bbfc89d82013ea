#include "platform/win32/popup_window.h"

#include <windowsx.h>

#include "platform/common/background_scale.h"
#include "platform/win32/picture.h"
#include "platform/win32/resource.h"
#include "platform/win32/units.h"
#include "popup/popup_design.h"

namespace velmora::win32 {
namespace {

constexpr wchar_t kPopupClass[] = L"VelmoraMessage";
// A label's default action, asked for by a screen reader; wParam: the label.
constexpr UINT kInvokeMessage = WM_APP + 2;

COLORREF ToColorref(Rgb colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

Rgb ThemeText() {
    const COLORREF system = GetSysColor(COLOR_BTNTEXT);
    return Rgb{GetRValue(system), GetGValue(system), GetBValue(system)};
}

RECT ToRect(const PixelRect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

GdiObject<HFONT> CreateDesignFont(const FontDesign& font, int dpi) {
    LOGFONTW log{};
    if (font.windowDefault) {
        // The platform's default dialog font: the one message boxes use,
        // reported at the system DPI.
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        log = metrics.lfMessageFont;
        log.lfHeight = MulDiv(log.lfHeight, dpi, SystemDpi());
    } else {
        log.lfHeight = PointsToFontHeight(font.points, dpi);
        log.lfWeight = font.weight;
        log.lfCharSet = static_cast<BYTE>(font.charset);
        // When the face is missing, the charset steers the font mapper to a
        // face that has the characters.
        lstrcpynW(log.lfFaceName, Wide(font.face), LF_FACESIZE);
    }
    return GdiObject<HFONT>(CreateFontIndirectW(&log));
}

int BackgroundResource(int dpi) {
    const double scale = BackgroundScaleFor(double(dpi) / kBaseDpi);
    if (scale >= 2.0) return IDR_POPUP_BACKGROUND_200;
    if (scale >= 1.5) return IDR_POPUP_BACKGROUND_150;
    if (scale >= 1.25) return IDR_POPUP_BACKGROUND_125;
    return IDR_POPUP_BACKGROUND;
}

std::int16_t ButtonOfMessage(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            return kLeftButton;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            return kRightButton;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            return kMiddleButton;
        default:
            return 0;
    }
}

// The class has no CS_DBLCLKS: a second click comes as a second press.
bool IsPress(UINT message) {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
}

std::int16_t ShiftOfKeys(WPARAM keys) {
    return ShiftOf(keys & MK_SHIFT, keys & MK_CONTROL, GetKeyState(VK_MENU) < 0);
}

}  // namespace

void PopupWindow::RegisterClasses(HINSTANCE instance) {
    RegisterWindowClass(instance, kPopupClass, nullptr);
}

PopupWindow::PopupWindow(HINSTANCE instance, const WindowDesign& design, WindowEvents& events, int dpi)
    // Tool window: no taskbar button. No-activate: clicks and showing leave
    // the focus where the user has it.
    : WindowBase(design, dpi, WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPopupClass, WS_POPUP,
                 instance),
      events_(events),
      designHeight_(ToPixels(design.height)),
      // Made for the window's own size: the picture covers the client area
      // at every scaling, one picture pixel to one screen pixel.
      background_(LoadPictureResource(instance, BackgroundResource(dpi), width_, designHeight_)),
      labels_(design, PixelScale{TwipsPerPixel(dpi), TwipsPerPixel(dpi), TwipsToPixels, PixelsToTwips},
              ThemeText()) {
    for (const PopupLabel& label : labels_.All()) {
        GdiObject<HFONT>& font = label.font.windowDefault ? dialogFont_ : songFont_;
        if (!font) font = CreateDesignFont(label.font, dpi);
        fonts_.push_back(font.get());
    }
    Attach();
}

PopupWindow::~PopupWindow() {
    if (labels_.Pressed()) ReleaseCapture();
    // A screen reader may still hold the object: from now on it answers
    // that the window is gone.
    if (accessible_) {
        accessible_->Disconnect();
        accessible_->Release();
    }
}

void PopupWindow::Show() {
    shown_ = true;
    Place();
}

// The alert is raised once the window can be seen (for a new notice, at the
// slide's first step): a reader may pass over an alert from a hidden window.
// The texts the reader asks for are in place by then.
void PopupWindow::Announce(const Text& name, const Text& description) {
    alertName_ = name;
    alertDescription_ = description;
    announcePending_ = true;
    Place();
}

void PopupWindow::ApplyPlacement() {
    const bool visible = PopupVisible(shown_, height_);
    SetWindowPos(hwnd_, nullptr, left_, top_, width_, std::max(height_, 1),
                 SWP_NOZORDER | SWP_NOACTIVATE | (visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    if (visible && announcePending_) {
        announcePending_ = false;
        // The client object is the alert; the system's window object is not.
        NotifyWinEvent(EVENT_SYSTEM_ALERT, hwnd_, OBJID_CLIENT, CHILDID_SELF);
    }
}

AccessibleView PopupWindow::View() const {
    AccessibleView view{alertName_, alertDescription_, {}, {}};
    POINT origin{0, 0};
    ClientToScreen(hwnd_, &origin);
    RECT client{};
    if (IsWindowVisible(hwnd_)) GetClientRect(hwnd_, &client);
    view.window = PixelRect{client.left, client.top, client.right, client.bottom}.Offset(origin.x, origin.y);
    view.children = labels_.Children(origin.x, origin.y);
    return view;
}

void PopupWindow::InvokeLater(Control label) {
    PostMessageW(hwnd_, kInvokeMessage, static_cast<WPARAM>(label), 0);
}

void PopupWindow::SetLabelCaption(Control label, const Text& caption) {
    if (labels_.SetCaption(label, caption)) InvalidateRect(hwnd_, nullptr, FALSE);
}

void PopupWindow::MoveLabel(Control label, Twips left, Twips top) {
    if (labels_.Move(label, left, top)) InvalidateRect(hwnd_, nullptr, FALSE);
}

bool PopupWindow::OnButton(UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    if (IsPress(message)) {
        const bool held = labels_.Pressed();  // a second button while one is held is swallowed
        const std::optional<LabelMouse> press =
            labels_.Press(x, y, ButtonOfMessage(message), ShiftOfKeys(wParam));
        if (!press) return held;
        SetCapture(hwnd_);
        events_.MouseDown(press->label, press->args);
        return true;
    }
    const std::optional<LabelMouse> release =
        labels_.Release(x, y, ButtonOfMessage(message), ShiftOfKeys(wParam));
    if (!release) return false;
    ReleaseCapture();
    events_.MouseUp(release->label, release->args);  // may unload the pop-up: nothing after this
    return true;
}

void PopupWindow::Paint() {
    const PaintDc dc(hwnd_);
    RECT client;
    GetClientRect(hwnd_, &client);
    // Drawn off-screen at the full design size, so the growing window shows
    // the picture's top part without flicker.
    const int height = std::max<int>(client.bottom, designHeight_);
    const MemoryDc canvas(dc.get());
    const GdiObject<HBITMAP> buffer(CreateCompatibleBitmap(dc.get(), client.right, height));
    const ScopedSelect drawInto(canvas.get(), buffer.get());
    RECT all{0, 0, client.right, height};
    FillRect(canvas.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (background_) {
        BITMAP info{};
        GetObjectW(background_.get(), sizeof(info), &info);
        const MemoryDc picture(dc.get());
        const ScopedSelect drawFrom(picture.get(), background_.get());
        BitBlt(canvas.get(), 0, 0, info.bmWidth, info.bmHeight, picture.get(), 0, 0, SRCCOPY);
    }
    for (std::size_t i = 0; i < labels_.All().size(); ++i) {
        const PopupLabel& label = labels_.All()[i];
        PaintLabel(canvas.get(), ToRect(label.bounds), ToWide(label.caption),
                   LabelLook{fonts_[i], ToColorref(label.colour), label.centred});
    }
    BitBlt(dc.get(), 0, 0, client.right, client.bottom, canvas.get(), 0, 0, SRCCOPY);
}

LRESULT PopupWindow::OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_CLOSE:
            // The core unloads the pop-up its own way; that may destroy
            // this window, so nothing of it is touched afterwards.
            events_.CloseRequested();
            return 0;
        case WM_GETOBJECT:
            // Only the client object is ours; the rest is the system's.
            if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) break;
            if (!accessible_) accessible_ = new PopupAccessible(*this);
            return LresultFromObject(__uuidof(IAccessible), wParam, accessible_);
        case kInvokeMessage:
            events_.Invoke(static_cast<Control>(wParam));  // may unload the pop-up
            return 0;
        case WM_CAPTURECHANGED:
            // Capture taken away (another window, a menu): no release follows.
            if (reinterpret_cast<HWND>(lParam) != hwnd) labels_.CaptureLost();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            if (OnButton(message, wParam, lParam)) return 0;
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace velmora::win32
