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

namespace velmora::win32 {

// MSAA's roles, states, navigation directions and the object itself.
inline constexpr long kRoleAlert = 0x8, kRoleLink = 0x1e, kRoleStaticText = 0x29, kRolePushButton = 0x2b;
inline constexpr long kStateReadOnly = 0x40, kStateInvisible = 0x8000, kStateOffscreen = 0x10000,
                      kStateLinked = 0x400000;
inline constexpr long kNavNext = 5, kNavPrevious = 6, kNavFirstChild = 7, kNavLastChild = 8;
inline constexpr long kChildSelf = 0;

// A rectangle in screen pixels, right and bottom excluded.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct AccessibleChild {
    Control id;
    AccessibleRole role;
    Text name;
    PixelRect screen;  // where the label stands, also where the window does not reach
};

// The pop-up as it is at one moment: child ids are 1-based places in `children`.
struct AccessibleView {
    Text name, description;
    PixelRect window;  // the visible window; empty while it is hidden
    std::vector<AccessibleChild> children;
};

// The labels' places in the order a reader walks them: top to bottom, then
// left to right, as the eye reads the window.
std::vector<std::size_t> ReadingOrder(const std::vector<LabelDesign>& labels);

long RoleOf(AccessibleRole role);
// The design's name for a label (`accessibleName`), or else what it shows.
Text NameOf(const Text& accessibleName, const Text& caption);
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
