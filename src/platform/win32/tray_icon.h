// The notification-area icon: each call sends the shell the record that the
// picture box's window and picture and the content make, through its 488-byte
// form; the icons added are remembered so that they can be added again when
// Explorer restarts.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/notify_icon_record.h"
#include "platform/win32/win32_api.h"

#include <shellapi.h>

namespace velmora::win32 {

class TrayIcon;

// The program's icons, as the picture boxes' callbacks and the shell's
// restarts reach them.
class TrayIcons {
public:
    TrayIcons() = default;
    TrayIcons(const TrayIcons&) = delete;
    TrayIcons& operator=(const TrayIcons&) = delete;

    std::unique_ptr<NativeTrayIcon> Create(HWND pictureBox, HICON picture,
                                           std::function<void(TrayActivation)> onActivation);
    // A mouse move that `pictureBox` received at `pixelX`: the shell's callback.
    void Deliver(HWND pictureBox, int pixelX);
    // On the shell's "TaskbarCreated" broadcast: the new taskbar knows none
    // of our icons, and without the icon there is no way to quit.
    void AddAgain();
    static UINT TaskbarCreatedMessage();

private:
    friend class TrayIcon;
    std::vector<TrayIcon*> icons_;
};

class TrayIcon final : public NativeTrayIcon {
public:
    TrayIcon(TrayIcons& icons, HWND pictureBox, HICON picture,
             std::function<void(TrayActivation)> onActivation);
    ~TrayIcon() override;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    void Add(const TrayIconContent& content) override;
    void Update(const TrayIconContent& content) override;
    void Remove() override;

private:
    friend class TrayIcons;
    // The shell's record for the icon as it stands.
    NOTIFYICONDATAW Native() const;
    void Send(DWORD message);

    TrayIcons& icons_;
    HWND pictureBox_;
    HICON picture_;
    std::function<void(TrayActivation)> onActivation_;
    TrayIconContent content_;
    TrayCallbackDecoder callbacks_;
    bool added_ = false;
};

}  // namespace velmora::win32
