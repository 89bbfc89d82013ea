// What screen readers are told of the pop-up through MSAA: one accessible
// object for the window, an alert, whose simple children are the painted
// labels. Free of Windows headers so that any machine's tests can check it;
// the adapter checks the numbers against oleacc.h when it is compiled.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "core/design.h"
#include "core/text.h"
#include "popup/popup_labels.h"

namespace velmora::win32 {

// MSAA's roles, states, navigation directions and the object itself.
inline constexpr long kRoleAlert = 0x8, kRoleLink = 0x1e, kRoleStaticText = 0x29, kRolePushButton = 0x2b;
inline constexpr long kStateReadOnly = 0x40, kStateInvisible = 0x8000, kStateOffscreen = 0x10000,
                      kStateLinked = 0x400000;
inline constexpr long kNavNext = 5, kNavPrevious = 6, kNavFirstChild = 7, kNavLastChild = 8;
inline constexpr long kChildSelf = 0;

// The pop-up as it is at one moment: child ids are 1-based places in `children`.
struct AccessibleView {
    Text name, description;
    PixelRect window;  // the visible window; empty while it is hidden
    std::vector<AccessibleChild> children;
};

long RoleOf(AccessibleRole role);
// What the default action does, as a reader says it; empty: none.
Text DefaultActionOf(AccessibleRole role);

// The child a valid child id stands for; nothing for the window itself or
// an id out of range.
const AccessibleChild* ChildOf(const AccessibleView& view, long childId);
bool IsValidChildId(const AccessibleView& view, long childId);

// Nothing is ever focusable: the pop-up never takes the focus. A label that
// the window's slide has not yet uncovered is off-screen.
long StateOf(const AccessibleView& view, long childId);

// What is at a screen point: a child, the window itself, or nothing outside
// the visible window.
std::optional<long> HitTest(const AccessibleView& view, int x, int y);

// Next, previous, first and last child; nothing past either end, nor for
// the spatial directions.
std::optional<long> Navigate(const AccessibleView& view, long start, long direction);

}  // namespace velmora::win32
