// velmora on the Linux desktop: the core's main window on the Qt adapter.
#include <signal.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <QApplication>

#include "app/main_window.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/translations.h"
#include "velmora_config.h"

int main(int argc, char** argv) {
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
