// velmora.exe: the main window's load handler runs start-up; after it only
// events act, through the message loop.
#include "app/main_window.h"
#include "platform/win32/win32_platform.h"
#include "velmora_config.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    velmora::win32::Win32Platform platform(instance);
    velmora::MainWindow main(platform, VELMORA_FEED_BASE_URL);
    main.Load();
    return platform.RunMessageLoop();
}
