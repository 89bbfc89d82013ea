#include "platform/win32/tray_icon.h"

#include <cstring>
#include <cwchar>

namespace velmora::win32 {
namespace {

// Offsets of the 488-byte record (the 32-bit ANSI NOTIFYICONDATA, version 2).
constexpr std::size_t kHwnd = 4, kId = 8, kFlags = 12, kCallback = 16, kIcon = 20, kTip = 24, kState = 152,
                      kStateMask = 156, kInfo = 160, kTimeout = 416, kInfoTitle = 420, kInfoFlags = 484;
constexpr std::size_t kTipBytes = 128, kInfoBytes = 256, kInfoTitleBytes = 64;

std::uint32_t ReadU32(const NotifyIconWire& wire, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, wire.data() + offset, sizeof(value));
    return value;
}

Handle ReadHandle(const NotifyIconWire& wire, std::size_t offset) {
    return static_cast<Handle>(ReadU32(wire, offset));
}

bool SameIcon(const NOTIFYICONDATAW& a, const NOTIFYICONDATAW& b) {
    return a.hWnd == b.hWnd && a.uID == b.uID;
}

}  // namespace

UINT TrayIcons::TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

void TrayIcons::CopyText(const NotifyIconWire& wire, std::size_t offset, std::size_t size, wchar_t* out,
                         std::size_t capacity) {
    const char* field = reinterpret_cast<const char*>(wire.data() + offset);
    std::size_t length = strnlen(field, size);
    Text text = platform_.FromAnsi(std::string_view(field, length));
    std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n * sizeof(wchar_t));
    out[n] = L'\0';
}

NOTIFYICONDATAW TrayIcons::ToNative(const NotifyIconWire& wire) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = FromHandle<HWND>(ReadHandle(wire, kHwnd));
    data.uID = ReadU32(wire, kId);
    data.uFlags = ReadU32(wire, kFlags);
    data.uCallbackMessage = ReadU32(wire, kCallback);
    data.hIcon = FromHandle<HICON>(ReadHandle(wire, kIcon));
    CopyText(wire, kTip, kTipBytes, data.szTip, std::size(data.szTip));
    data.dwState = ReadU32(wire, kState);
    data.dwStateMask = ReadU32(wire, kStateMask);
    CopyText(wire, kInfo, kInfoBytes, data.szInfo, std::size(data.szInfo));
    data.uTimeout = ReadU32(wire, kTimeout);
    CopyText(wire, kInfoTitle, kInfoTitleBytes, data.szInfoTitle, std::size(data.szInfoTitle));
    data.dwInfoFlags = ReadU32(wire, kInfoFlags);
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
