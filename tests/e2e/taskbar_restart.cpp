// Plays a restarted Explorer to Velmora, in two steps the test watches:
//   taskbar_restart remove     removes Velmora's notification icon, which a
//                              new taskbar would not have
//   taskbar_restart announce   broadcasts "TaskbarCreated" as Explorer does
//                              when it starts
// Exits 1 when no Velmora window is found.
#include <windows.h>

#include <shellapi.h>

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && lstrcmpW(argv[1], L"announce") == 0) {
        SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
        return 0;
    }
    HWND main = FindWindowW(L"VelmoraMain", nullptr);
    HWND picture = main ? FindWindowExW(main, nullptr, L"VelmoraPicture", nullptr) : nullptr;
    if (!picture) return 1;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = picture;
    data.uID = 0;
    return Shell_NotifyIconW(NIM_DELETE, &data) ? 0 : 1;
}
