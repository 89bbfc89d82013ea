// Where the tray icon can show: a StatusNotifier host on the session bus
// (KDE, swaybar, GNOME's AppIndicator extension) or an XEmbed tray on the X
// display, and word when one comes after the program has started.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <functional>

class QDBusServiceWatcher;

namespace velmora::qt {

// Qt chooses between the two once, when the first QSystemTrayIcon is made:
// made while neither is there, the icon would never find a host that comes
// later.
bool TrayHostPresent();

// GNOME Shell's host shows only the item's exported menu and never asks the
// item itself; its watcher lives in the shell's own connection.
bool HostShowsOnlyMenus();

class TrayHostWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // `onHost` runs once, from the event loop, when a host appears after this
    // watch began.
    explicit TrayHostWatch(std::function<void()> onHost);
    ~TrayHostWatch() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private slots:
    void HostRegistered();

private:
    void Found();

    std::function<void()> onHost_;
    QDBusServiceWatcher* watcherWatch_ = nullptr;
    // On X11 only: the tray's announcement and the selection it names.
    std::uint32_t managerAtom_ = 0;
    std::uint32_t traySelection_ = 0;
    bool found_ = false;
};

}  // namespace velmora::qt
