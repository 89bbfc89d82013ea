// The 32-bit handles the core stores for windows, picture boxes and icons,
// and what each stands for here. Qt has no such numbers of its own.
#pragma once

#include <QIcon>
#include <QPointer>
#include <QWidget>
#include <map>

#include "platform/platform.h"

namespace velmora::qt {

struct HandleTarget {
    QPointer<QWidget> window;        // a window
    WindowEvents* events = nullptr;  // a picture box: the events of the window it sits on
    Control control = Control::TrayCallbackBox;
    QIcon icon;  // an icon or a picture box's picture
};

class HandleTable {
public:
    Handle AddWindow(QWidget* window) {
        return Add(HandleTarget{window, nullptr, Control::TrayCallbackBox, QIcon()});
    }
    Handle AddPictureBox(WindowEvents& events, Control control) {
        return Add(HandleTarget{nullptr, &events, control, QIcon()});
    }
    Handle AddIcon(const QIcon& icon) {
        return Add(HandleTarget{nullptr, nullptr, Control::TrayCallbackBox, icon});
    }
    void Remove(Handle handle) { targets_.erase(handle); }
    const HandleTarget* Find(Handle handle) const {
        auto it = targets_.find(handle);
        return it == targets_.end() ? nullptr : &it->second;
    }

private:
    Handle Add(HandleTarget target) {
        // Distinct from 0 (none) and -1 (HWND_TOPMOST), like user handles.
        next_ += 4;
        targets_[next_] = std::move(target);
        return next_;
    }

    Handle next_ = 0x10000;
    std::map<Handle, HandleTarget> targets_;
};

}  // namespace velmora::qt
