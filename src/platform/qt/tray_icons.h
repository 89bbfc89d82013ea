// The shell's notification area on QSystemTrayIcon: icons added, changed and
// removed by (window, id) from the core's 488-byte records, and the clicks on
// them handed back as mouse message numbers.
#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/qt/handles.h"

namespace velmora::qt {

class TrayIcons final : public QObject {
public:
    // `deliver` hands a mouse message to the picture box behind a window
    // handle; it runs as a posted event, never inside Qt's tray code.
    using Deliver = std::function<void(Handle window, std::int32_t mouseMessage)>;
    TrayIcons(const HandleTable& handles, Deliver deliver);
    ~TrayIcons() override;

    bool Notify(std::int32_t message, const NotifyIconWire& data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Icon {
        Handle window;
        std::int32_t id;
        QSystemTrayIcon* tray;
    };

    Icon* Find(Handle window, std::int32_t id);
    Icon* OwnerOf(QObject* trayWidget);
    void OnActivated(Handle window, QSystemTrayIcon::ActivationReason reason);
    void Post(Handle window, std::vector<std::int32_t> messages);

    const HandleTable& handles_;
    Deliver deliver_;
    std::vector<Icon> icons_;
};

}  // namespace velmora::qt
