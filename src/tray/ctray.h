// CTray: the one notification-area icon, the picture box that receives its
// callbacks, and the six mouse events decoded from them.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/arith.h"
#include "platform/form.h"
#include "platform/platform.h"
#include "tray/notify_icon_data.h"

namespace velmora {

// The receiver of CTray's events, in their declaration order. An event
// without a handler does nothing.
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

class CTray {
public:
    // The creation steps: the record aimed at `main` (its window, icon and
    // caption as the tip). Nothing is sent to the shell. `events` receives
    // the decoded callbacks; null means nobody listens.
    CTray(Platform& platform, Form& main, std::unique_ptr<TrayEvents> events = nullptr);
    // The destruction steps: DeleteIcon, then mPic is emptied.
    ~CTray();
    CTray(const CTray&) = delete;
    CTray& operator=(const CTray&) = delete;

    // Binds the picture box whose mouse moves carry the callbacks and whose
    // picture is the icon; the shell learns of it with the next add.
    void PicBox(PictureBox& box);
    // The whole 128-character field: the tip, its NUL and the spaces behind.
    const Text& TipText() const { return nid_.szTip.Whole(); }
    void TipText(Text value);
    // False, and nothing sent, until a picture box is bound; otherwise true
    // whatever the shell answered.
    bool ShowIcon();
    // Sent whatever the state; the shell refuses it for an icon it lacks.
    void DeleteIcon();
    void ShowMessage(const Text& title, const Text& message);

    const NotifyIconData& Record() const { return nid_; }
    PictureBox* mPic() const { return mPic_; }
    Bool16 InEvent() const { return inEvent_; }

private:
    void mPic_MouseMove(const MouseArgs& args);
    void Raise(std::int32_t mouseMessage);
    void Send(std::int32_t message);

    Platform& platform_;
    std::unique_ptr<TrayEvents> events_;
    NotifyIconData nid_;
    PictureBox* mPic_ = nullptr;
    Bool16 inEvent_ = kFalse;
};

}  // namespace velmora
