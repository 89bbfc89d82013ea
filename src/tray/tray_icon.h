// The one notification-area icon, the hidden picture box that receives its
// callbacks, and the six mouse events decoded from them.
#pragma once

#include <cstdint>
#include <memory>

#include "core/arith.h"
#include "core/form.h"
#include "platform/platform.h"
#include "tray/notify_icon_data.h"

namespace velmora {

// The receiver of the icon's mouse events. An event without a handler does
// nothing.
class TrayEvents {
public:
    virtual ~TrayEvents() = default;
    virtual void RButtonDown() {}
    virtual void RButtonUp() {}
    virtual void RButtonDblClick() {}
    virtual void LButtonDown() {}
    virtual void LButtonUp() {}
    virtual void LButtonDblClick() {}
};

class TrayIcon {
public:
    // Fills the record from `main` (its window, icon and caption as the tip)
    // but sends nothing: the icon appears with ShowIcon, once a callback box
    // is bound. `events` receives the decoded callbacks; null means nobody
    // listens.
    TrayIcon(Platform& platform, Form& main, std::unique_ptr<TrayEvents> events = nullptr);
    // Removes the icon and stops listening to the callback box.
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Binds the picture box whose mouse moves carry the callbacks and whose
    // picture is the icon; the shell learns of it with the next add.
    void BindCallbackBox(PictureBox& box);
    // The whole 128-character field: the tip, its NUL and the spaces behind.
    const Text& TipText() const { return nid_.szTip.Whole(); }
    void TipText(Text value);
    // False, and nothing sent, until a callback box is bound; otherwise true
    // whatever the shell answered.
    bool ShowIcon();
    // Sent whatever the state; the shell refuses it for an icon it lacks.
    void DeleteIcon();
    void ShowMessage(const Text& title, const Text& message);

    const NotifyIconData& Record() const { return nid_; }

private:
    void OnCallbackBoxMouseMove(const MouseArgs& args);
    void Raise(std::int32_t mouseMessage);
    void Send(std::int32_t message);

    Platform& platform_;
    std::unique_ptr<TrayEvents> events_;
    NotifyIconData nid_;
    PictureBox* callbackBox_ = nullptr;
    // Set while one of the events runs; callbacks meanwhile are dropped.
    bool handlingEvent_ = false;
};

}  // namespace velmora
