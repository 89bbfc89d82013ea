// velmora on the Linux desktop: the core's main window on the Qt adapter.
#include <signal.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/main_window.h"
#include "platform/qt/instance_lock.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/quit_request.h"
#include "platform/qt/translations.h"
#include "velmora_config.h"

namespace {

// The running copy unloads as on SIGTERM: its check ends, its icon goes.
constexpr int kQuitWaitMs = 10000;

// For a user with no tray to quit from. 0 once the running copy has gone, 1
// when none runs, 2 when it could not be asked or did not go.
int QuitRunningCopy() {
    using velmora::qt::QuitOutcome;
    const auto folder = velmora::qt::InstanceLockFolder(std::getenv("XDG_RUNTIME_DIR"), getuid());
    switch (velmora::qt::AskRunningCopyToQuit(folder, kQuitWaitMs)) {
        case QuitOutcome::Closed:
            return 0;
        case QuitOutcome::NotRunning:
            std::fputs("velmora is not running\n", stderr);
            return 1;
        case QuitOutcome::StillRunning:
            std::fputs("velmora was asked to quit and is still running\n", stderr);
            return 2;
        case QuitOutcome::Unreachable:
            break;
    }
    std::fputs("velmora is running but could not be asked to quit\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--quit") return QuitRunningCopy();
    // A parent may have left SIGCHLD ignored; the system would then reap the
    // fetch helper itself and its exit status would be lost.
    signal(SIGCHLD, SIG_DFL);
#if defined(__GLIBC__)
    // A check of a large feed allocates tens of megabytes (the body, its
    // text, copies of both) and the program then idles for a minute or for
    // hours. glibc would raise its mmap threshold after the first such check
    // and keep the freed blocks in the heap for good; with a fixed threshold
    // every large block is mapped on its own and goes back when freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    // The pop-up puts itself in the screen's corner, which only X11 lets a
    // program do: under Wayland prefer XWayland, unless the user chose.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    QApplication app(argc, argv);
    QApplication::setApplicationName("velmora");
    QApplication::setDesktopFileName("velmora");
    // The main window is never shown: without this, answering No in the exit prompt
    // (the last visible window closing) would quit.
    QApplication::setQuitOnLastWindowClosed(false);
    // Before the first message box: its buttons speak the desktop's language.
    velmora::qt::InstallQtTranslations(app);

    velmora::qt::QtPlatform platform;
    velmora::MainWindow main(platform, VELMORA_FEED_BASE_URL);
    main.Load();
    return QApplication::exec();
}
