// The tray icon's clicks as the core's activations, and their delivery.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <vector>

#include "app/main_window_design.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/tray_icon.h"
#include "platform/qt/window_base.h"
#include "popup/popup_design.h"

namespace velmora::qt {
namespace {

using A = TrayActivation;

class NoEvents : public WindowEvents {
    void MouseDown(Control, const MouseArgs&) override {}
    void MouseUp(Control, const MouseArgs&) override {}
    void CloseRequested() override {}
    void Invoke(Control) override {}
};

TEST(QtTrayActivations, AStatusNotifierReasonStandsForTheClicksThatMadeIt) {
    EXPECT_EQ(ActivationsForReason(QSystemTrayIcon::Trigger), (std::vector{A::LeftDown, A::LeftUp}));
    EXPECT_EQ(ActivationsForReason(QSystemTrayIcon::Context), (std::vector{A::RightDown, A::RightUp}));
    EXPECT_EQ(ActivationsForReason(QSystemTrayIcon::DoubleClick), std::vector{A::LeftDoubleClick});
    EXPECT_TRUE(ActivationsForReason(QSystemTrayIcon::MiddleClick).empty());
}

TEST(QtTrayActivations, XEmbedPressesMapOneToOneAndTheMiddleButtonNotAtAll) {
    EXPECT_EQ(ActivationForMouse(QEvent::MouseButtonPress, Qt::LeftButton), A::LeftDown);
    EXPECT_EQ(ActivationForMouse(QEvent::MouseButtonRelease, Qt::LeftButton), A::LeftUp);
    EXPECT_EQ(ActivationForMouse(QEvent::MouseButtonDblClick, Qt::LeftButton), A::LeftDoubleClick);
    EXPECT_EQ(ActivationForMouse(QEvent::MouseButtonPress, Qt::RightButton), A::RightDown);
    EXPECT_EQ(ActivationForMouse(QEvent::MouseButtonRelease, Qt::RightButton), A::RightUp);
    EXPECT_EQ(ActivationForMouse(QEvent::MouseButtonDblClick, Qt::RightButton), A::RightDoubleClick);
    EXPECT_EQ(ActivationForMouse(QEvent::MouseButtonRelease, Qt::MiddleButton), std::nullopt);
}

// Never inside Qt's tray code, never to a window that is gone, and none
// while no tray shows the icon.
TEST(QtTrayIcon, ClicksArriveAsEventsOfTheirOwnWhileTheWindowIsThere) {
    QtPlatform platform;
    NoEvents events;
    auto main = platform.LoadWindow(MainWindowDesign(), events);
    std::vector<A> received;
    bool trayThere = false;
    auto icon = std::make_unique<TrayIcon>(
        static_cast<WindowBase&>(*main).Lifetime(), QIcon(), [&](A a) { received.push_back(a); },
        [&] { return trayThere; });
    auto& tray = *icon;
    tray.Add(TrayIconContent{u"Velmora V1.0", {}, {}});
    tray.Activated(QSystemTrayIcon::Context);
    QCoreApplication::processEvents();
    EXPECT_TRUE(received.empty());
    tray.Remove();

    trayThere = true;
    tray.Add(TrayIconContent{u"Velmora V1.0", {}, {}});
    tray.Activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(received.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(received, (std::vector{A::RightDown, A::RightUp}));

    tray.Activated(QSystemTrayIcon::Trigger);
    main.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(received.size(), 2u);
    icon->Remove();
    icon->Remove();

    auto popup = platform.LoadWindow(PopupDesign(), events);
    EXPECT_THROW(platform.CreateTrayIcon(*popup, Control::TrayCallbackBox, [](A) {}), RuntimeError);
}

}  // namespace
}  // namespace velmora::qt
