#include "platform/win32/tray_icon.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace velmora::win32 {
namespace {

bool SameIcon(const NOTIFYICONDATAW& a, const NOTIFYICONDATAW& b) {
    return a.hWnd == b.hWnd && a.uID == b.uID;
}

}  // namespace

UINT TrayIcons::TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

void TrayIcons::CopyText(const Text& text, wchar_t* out, std::size_t capacity) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n * sizeof(wchar_t));
    out[n] = L'\0';
}

// The core's record, read back through the core's own reader, as the wide
// native structure (handles sign-extended from their 32-bit values).
NOTIFYICONDATAW TrayIcons::ToNative(const NotifyIconWire& wire) {
    NotifyIconData record;
    FromWire(wire, record, [this](std::string_view bytes) { return platform_.FromAnsi(bytes); });
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = FromHandle<HWND>(record.hWnd);
    data.uID = static_cast<UINT>(record.uID);
    data.uFlags = static_cast<UINT>(record.uFlags);
    data.uCallbackMessage = static_cast<UINT>(record.uCallbackMessage);
    data.hIcon = FromHandle<HICON>(record.hIcon);
    CopyText(record.szTip.Shown(), data.szTip, std::size(data.szTip));
    data.dwState = static_cast<DWORD>(record.dwState);
    data.dwStateMask = static_cast<DWORD>(record.dwStateMask);
    CopyText(record.szInfo.Shown(), data.szInfo, std::size(data.szInfo));
    data.uTimeout = static_cast<UINT>(record.uTimeout);
    CopyText(record.szInfoTitle.Shown(), data.szInfoTitle, std::size(data.szInfoTitle));
    data.dwInfoFlags = static_cast<DWORD>(record.dwInfoFlags);
    return data;
}

bool TrayIcons::Notify(std::int32_t message, const NotifyIconWire& wire) {
    NOTIFYICONDATAW data = ToNative(wire);
    const bool ok = Shell_NotifyIconW(static_cast<DWORD>(message), &data) != FALSE;
    if (message == kNimAdd) {
        added_ = data;
    } else if (added_ && SameIcon(*added_, data)) {
        if (message == kNimDelete)
            added_.reset();
        else if (message == kNimModify)
            added_ = data;
    }
    return ok;
}

void TrayIcons::AddAgain() {
    if (!added_) return;
    NOTIFYICONDATAW data = *added_;
    // A balloon belongs to the moment it was raised; do not raise it again.
    data.uFlags &= ~static_cast<UINT>(NIF_INFO);
    Shell_NotifyIconW(NIM_ADD, &data);
}

}  // namespace velmora::win32
