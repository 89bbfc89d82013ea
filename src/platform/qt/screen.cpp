#include "platform/qt/screen.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/common/units.h"

namespace velmora::qt {

// Read on every call: a screen may come, go or change its DPI while we run.
float TwipsPerPixelX() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return TwipsPerPixel(screen ? screen->logicalDotsPerInchX() : 96.0);
}

float TwipsPerPixelY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return TwipsPerPixel(screen ? screen->logicalDotsPerInchY() : 96.0);
}

// The whole screen, not the work area: the pop-up's margins are measured
// from the screen's edges wherever the panels are.
ScreenMetrics PrimaryScreenMetrics() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect();
    const float x = TwipsPerPixelX(), y = TwipsPerPixelY();
    return ScreenMetrics{PixelsToTwips(area.width(), x), PixelsToTwips(area.height(), y), x, y};
}

}  // namespace velmora::qt
