#include "platform/win32/tray_icon.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/win32/notify_icon_record.h"
#include "platform/win32/units.h"

namespace velmora::win32 {
namespace {

static_assert(kNimAdd == NIM_ADD && kNimModify == NIM_MODIFY && kNimDelete == NIM_DELETE &&
              kNimSetVersion == NIM_SETVERSION && kNotifyIconVersion == NOTIFYICON_VERSION);
static_assert(kNinSelect == NIN_SELECT && kNinKeySelect == NIN_KEYSELECT && kWmContextMenu == WM_CONTEXTMENU);
static_assert(kNotifyIconFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO) && kNifInfo == NIF_INFO);
static_assert(kWmMouseMove == WM_MOUSEMOVE);

// User and GDI handles carry 32 significant bits; 64-bit Windows
// sign-extends them, so the round trip through the record is lossless.
std::int32_t HandleBits(const void* handle) {
    return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(handle));
}
template <typename T>
T FromHandleBits(std::int32_t bits) {
    return reinterpret_cast<T>(static_cast<std::intptr_t>(bits));
}

void CopyText(const Text& text, wchar_t* out, std::size_t capacity) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n * sizeof(wchar_t));
    out[n] = L'\0';
}

NOTIFYICONDATAW ToNative(const NotifyIconRecord& record) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = FromHandleBits<HWND>(record.hWnd);
    data.uID = static_cast<UINT>(record.uID);
    data.uFlags = static_cast<UINT>(record.uFlags);
    data.uCallbackMessage = static_cast<UINT>(record.uCallbackMessage);
    data.hIcon = FromHandleBits<HICON>(record.hIcon);
    CopyText(record.szTip.Shown(), data.szTip, std::size(data.szTip));
    data.dwState = static_cast<DWORD>(record.dwState);
    data.dwStateMask = static_cast<DWORD>(record.dwStateMask);
    CopyText(record.szInfo.Shown(), data.szInfo, std::size(data.szInfo));
    data.uTimeout = static_cast<UINT>(record.uTimeout);
    CopyText(record.szInfoTitle.Shown(), data.szInfoTitle, std::size(data.szInfoTitle));
    data.dwInfoFlags = static_cast<DWORD>(record.dwInfoFlags);
    return data;
}

// The version lasts as long as the icon: every add asks for it again.
void AddWithVersion(NOTIFYICONDATAW& data) {
    Shell_NotifyIconW(NIM_ADD, &data);
    data.uVersion = NOTIFYICON_VERSION;
    Shell_NotifyIconW(NIM_SETVERSION, &data);
}

}  // namespace

UINT TrayIcons::TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

std::unique_ptr<NativeTrayIcon> TrayIcons::Create(HWND pictureBox, HICON picture,
                                                  std::function<void(TrayActivation)> onActivation) {
    return std::make_unique<TrayIcon>(*this, pictureBox, picture, std::move(onActivation));
}

void TrayIcons::Deliver(HWND pictureBox, int pixelX) {
    auto icon = std::find_if(icons_.begin(), icons_.end(),
                             [&](const TrayIcon* each) { return each->pictureBox_ == pictureBox; });
    if (icon == icons_.end()) return;
    const std::optional<TrayActivation> activation =
        (*icon)->callbacks_.Take(pixelX, TwipsPerPixel(ScreenDpi()));
    if (!activation) return;
    // A copy: the handler may destroy the icon.
    const std::function<void(TrayActivation)> onActivation = (*icon)->onActivation_;
    onActivation(*activation);
}

void TrayIcons::AddAgain() {
    for (const TrayIcon* icon : icons_) {
        if (!icon->added_) continue;
        NOTIFYICONDATAW data = icon->Native();
        // A balloon belongs to the moment it was raised; do not raise it again.
        data.uFlags &= ~static_cast<UINT>(NIF_INFO);
        AddWithVersion(data);
    }
}

TrayIcon::TrayIcon(TrayIcons& icons, HWND pictureBox, HICON picture,
                   std::function<void(TrayActivation)> onActivation)
    : icons_(icons), pictureBox_(pictureBox), picture_(picture), onActivation_(std::move(onActivation)) {
    icons_.icons_.push_back(this);
}

TrayIcon::~TrayIcon() {
    std::erase(icons_.icons_, this);
}

void TrayIcon::Add(const TrayIconContent& content) {
    content_ = content;
    Send(NIM_ADD);
}

void TrayIcon::Update(const TrayIconContent& content) {
    content_ = content;
    Send(NIM_MODIFY);
}

// The shell refuses it for an icon it does not have, and nothing comes of that.
void TrayIcon::Remove() {
    Send(NIM_DELETE);
}

NOTIFYICONDATAW TrayIcon::Native() const {
    return ToNative(
        ThroughWire(MakeNotifyIconRecord(HandleBits(pictureBox_), HandleBits(picture_), content_)));
}

// The shell's answer is never looked at: there is nothing to do about it.
void TrayIcon::Send(DWORD message) {
    NOTIFYICONDATAW data = Native();
    if (message == NIM_ADD)
        AddWithVersion(data);
    else
        Shell_NotifyIconW(message, &data);
    if (message == NIM_ADD) added_ = true;
    if (message == NIM_DELETE) added_ = false;
}

}  // namespace velmora::win32
