// The notice as a desktop notification (org.freedesktop.Notifications), for
// a Wayland session where the pop-up cannot be placed: a compositor without
// the layer shell and Qt running natively (GNOME without Xwayland). The
// desktop's notification server shows the title and the text, with a
// "查看详情" action.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace velmora::qt {

class DesktopNotice final : public QObject {
    Q_OBJECT

public:
    // Null when no notification server is on the session bus or can be
    // started there. `details`
    // runs when the user picks the action, from the event loop.
    static std::unique_ptr<DesktopNotice> Create(std::function<void()> details);
    // Takes the notification away.
    ~DesktopNotice() override;

    // Shows the notice, or replaces the texts of the one already shown.
    void Show(const QString& title, const QString& text);

private slots:
    void ActionInvoked(uint id, const QString& action);
    void Closed(uint id);

private:
    explicit DesktopNotice(std::function<void()> details);

    std::function<void()> details_;
    uint id_ = 0;
};

}  // namespace velmora::qt
