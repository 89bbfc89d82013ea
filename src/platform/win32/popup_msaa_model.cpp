#include "platform/win32/popup_msaa_model.h"

namespace velmora::win32 {

long RoleOf(AccessibleRole role) {
    switch (role) {
        case AccessibleRole::Link:
            return kRoleLink;
        case AccessibleRole::Button:
            return kRolePushButton;
        case AccessibleRole::StaticText:
            break;
    }
    return kRoleStaticText;
}

Text DefaultActionOf(AccessibleRole role) {
    switch (role) {
        case AccessibleRole::Link:
            return u"跳转";
        case AccessibleRole::Button:
            return u"按下";
        case AccessibleRole::StaticText:
            break;
    }
    return {};
}

bool IsValidChildId(const AccessibleView& view, long childId) {
    return childId >= kChildSelf && static_cast<std::size_t>(childId) <= view.children.size();
}

const AccessibleChild* ChildOf(const AccessibleView& view, long childId) {
    if (childId == kChildSelf || !IsValidChildId(view, childId)) return nullptr;
    return &view.children[static_cast<std::size_t>(childId) - 1];
}

long StateOf(const AccessibleView& view, long childId) {
    const long hidden = view.window.Empty() ? kStateInvisible : 0;
    const AccessibleChild* child = ChildOf(view, childId);
    if (!child) return hidden;
    const PixelRect& r = child->screen;
    const bool uncovered = r.left < view.window.right && view.window.left < r.right &&
                           r.top < view.window.bottom && view.window.top < r.bottom;
    long state = hidden | (uncovered ? 0 : kStateOffscreen);
    if (child->role == AccessibleRole::Link) state |= kStateLinked;
    if (child->role == AccessibleRole::StaticText) state |= kStateReadOnly;
    return state;
}

std::optional<long> HitTest(const AccessibleView& view, int x, int y) {
    if (!view.window.Contains(x, y)) return std::nullopt;
    for (std::size_t i = 0; i < view.children.size(); ++i)
        if (view.children[i].screen.Contains(x, y)) return static_cast<long>(i + 1);
    return kChildSelf;
}

std::optional<long> Navigate(const AccessibleView& view, long start, long direction) {
    const long count = static_cast<long>(view.children.size());
    if (!IsValidChildId(view, start)) return std::nullopt;
    switch (direction) {
        case kNavFirstChild:
            if (start == kChildSelf && count > 0) return 1;
            return std::nullopt;
        case kNavLastChild:
            if (start == kChildSelf && count > 0) return count;
            return std::nullopt;
        case kNavNext:
            if (start != kChildSelf && start < count) return start + 1;
            return std::nullopt;
        case kNavPrevious:
            if (start > 1) return start - 1;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

}  // namespace velmora::win32
