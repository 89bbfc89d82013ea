// The notification-area icon on QSystemTrayIcon, and the user's clicks on it
// as the core's activations.
#pragma once

#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <functional>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "platform/qt/tray_host.h"

namespace velmora::qt {

// An XEmbed tray (X11 panels, trayer) lets Qt's tray widget see the real
// presses, releases and double-clicks: each maps one to one.
std::optional<TrayActivation> ActivationForMouse(QEvent::Type type, Qt::MouseButton button);
// A StatusNotifier host reports only activations, after the fact, so each
// stands for the clicks that made it.
std::vector<TrayActivation> ActivationsForReason(QSystemTrayIcon::ActivationReason reason);

class TrayIcon final : public QObject, public NativeTrayIcon {
public:
    // `window` is the lifetime of the window the icon was made for: once it
    // is gone, clicks go nowhere. `hostPresent` says whether a tray is there
    // to show the icon now.
    TrayIcon(QObject* window, const QIcon& picture, std::function<void(TrayActivation)> onActivation,
             std::function<bool()> hostPresent = TrayHostPresent);
    ~TrayIcon() override;

    // Where no tray is there yet, the icon comes when one does.
    void Add(const TrayIconContent& content) override;
    void Update(const TrayIconContent& content) override;
    void Remove() override;

    // What QSystemTrayIcon::activated reports.
    void Activated(QSystemTrayIcon::ActivationReason reason);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Create();
    void Show(const TrayIconContent& content);
    bool Owns(QObject* trayWidget) const;
    void Post(TrayActivation activation);

    QPointer<QObject> window_;
    QIcon picture_;
    std::function<void(TrayActivation)> onActivation_;
    std::function<bool()> hostPresent_;
    // While added. Deleted later: a click posted on it may be the one whose
    // handler removes the icon.
    QSystemTrayIcon* tray_ = nullptr;
    // Only for a host that shows nothing else: its one entry asks to quit.
    QMenu* menu_ = nullptr;
    // While added and waiting for a tray to appear.
    TrayHostWatch* hostWatch_ = nullptr;
    TrayIconContent content_;
};

}  // namespace velmora::qt
