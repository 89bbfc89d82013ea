// tray_keys CALLBACK...: delivers notification-icon callbacks to Velmora's
// icon as the shell does for a keyboard user (trayer has no keyboard
// navigation): "enter" is NIN_KEYSELECT twice, as the shell sends it for
// Enter; "menu" is WM_CONTEXTMENU, the context-menu key. Exits 1 when no
// Velmora icon window is found.
#include <windows.h>

#include <shellapi.h>

int wmain(int argc, wchar_t** argv) {
    HWND main = FindWindowW(L"VelmoraMain", nullptr);
    HWND picture = main ? FindWindowExW(main, nullptr, L"VelmoraPicture", nullptr) : nullptr;
    if (!picture) return 1;
    // The icon's callback message is WM_MOUSEMOVE; wParam is its id, 0.
    auto send = [picture](UINT notification) {
        PostMessageW(picture, WM_MOUSEMOVE, 0, MAKELPARAM(notification, 0));
    };
    for (int i = 1; i < argc; ++i) {
        if (lstrcmpW(argv[i], L"enter") == 0) {
            send(NIN_KEYSELECT);
            send(NIN_KEYSELECT);
        } else if (lstrcmpW(argv[i], L"menu") == 0) {
            send(WM_CONTEXTMENU);
        } else {
            return 2;
        }
    }
    return 0;
}
