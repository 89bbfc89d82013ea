// The pop-up as the Windows program shows it to screen readers: its labels
// as children in reading order, what each is called and does, where they
// are while the window slides, and how a reader walks them.
#include "platform/win32/popup_msaa_model.h"

#include <gtest/gtest.h>

#include "platform/common/units.h"
#include "popup/popup_design.h"

namespace velmora::win32 {
namespace {

// The pop-up at (100, 200), slid in to `height` pixels, its labels where the
// design puts them at 15 twips per pixel, in reading order.
AccessibleView PopupAt(int height) {
    AccessibleView view{u"标题", u"正文", {100, 200, 352, 200 + height}, {}};
    view.children = {{Control::CloseMark, AccessibleRole::Button, u"关闭", {332, 206, 349, 223}},
                     {Control::TitleLabel, AccessibleRole::StaticText, u"标题", {116, 224, 333, 241}},
                     {Control::TextLabel, AccessibleRole::StaticText, u"正文", {116, 248, 333, 337}},
                     {Control::DetailsLink, AccessibleRole::Link, u"查看详情", {292, 350, 351, 367}}};
    return view;
}

TEST(Win32PopupMsaaModel, LabelsReadTopDownWithTheDesignsRolesNamesAndActions) {
    PopupLabels labels(PopupDesign(), PixelScale{15, 15, TwipsToPixels, PixelsToTwips}, Rgb{0, 0, 0});
    std::vector<Control> order;
    std::vector<Text> names, actions;
    std::vector<long> roles;
    for (const PopupLabel& label : labels.All()) labels.SetCaption(label.id, u"caption");
    for (const AccessibleChild& child : labels.Children(100, 200)) {
        order.push_back(child.id);
        roles.push_back(RoleOf(child.role));
        names.push_back(child.name);
        actions.push_back(DefaultActionOf(child.role));
    }
    EXPECT_EQ(order, (std::vector<Control>{Control::CloseMark, Control::TitleLabel, Control::TextLabel,
                                           Control::DetailsLink}));
    EXPECT_EQ(roles, (std::vector<long>{0x2b, 0x29, 0x29, 0x1e}));  // button, static text x2, link
    EXPECT_EQ(names, (std::vector<Text>{u"关闭", u"caption", u"caption", u"caption"}));
    EXPECT_EQ(actions, (std::vector<Text>{u"按下", u"", u"", u"跳转"}));
}

TEST(Win32PopupMsaaModel, WhileSlidingOnlyTheUncoveredPartIsHitAndNothingIsEverFocusable) {
    const AccessibleView sliding = PopupAt(100);  // the link is still below the window's edge
    EXPECT_EQ(HitTest(sliding, 200, 230), 2);     // the title
    EXPECT_EQ(HitTest(sliding, 200, 245), kChildSelf);
    EXPECT_EQ(HitTest(sliding, 300, 355), std::nullopt);  // the link's place, not yet shown
    EXPECT_EQ(HitTest(sliding, 99, 230), std::nullopt);
    EXPECT_EQ(StateOf(sliding, 4), kStateLinked | kStateOffscreen);
    EXPECT_EQ(StateOf(sliding, 2), kStateReadOnly);
    EXPECT_EQ(StateOf(sliding, 1), 0);
    EXPECT_EQ(StateOf(sliding, kChildSelf), 0);
    EXPECT_EQ(StateOf(PopupAt(173), 4), kStateLinked);
    AccessibleView hidden = PopupAt(0);
    hidden.window = {};
    EXPECT_EQ(StateOf(hidden, kChildSelf), kStateInvisible);
    EXPECT_EQ(StateOf(hidden, 1), kStateInvisible | kStateOffscreen);
    EXPECT_EQ(HitTest(hidden, 0, 0), std::nullopt);
}

TEST(Win32PopupMsaaModel, NavigationWalksTheChildrenAndStopsAtBothEnds) {
    const AccessibleView view = PopupAt(173);
    EXPECT_EQ(Navigate(view, kChildSelf, kNavFirstChild), 1);
    EXPECT_EQ(Navigate(view, kChildSelf, kNavLastChild), 4);
    EXPECT_EQ(Navigate(view, 1, kNavNext), 2);
    EXPECT_EQ(Navigate(view, 4, kNavNext), std::nullopt);
    EXPECT_EQ(Navigate(view, 2, kNavPrevious), 1);
    EXPECT_EQ(Navigate(view, 1, kNavPrevious), std::nullopt);
    EXPECT_EQ(Navigate(view, kChildSelf, kNavNext), std::nullopt);  // the window's siblings are not ours
    EXPECT_EQ(Navigate(view, 2, kNavFirstChild), std::nullopt);     // labels have no children
    EXPECT_EQ(Navigate(view, 1, 1), std::nullopt);                  // up: no spatial moves
    EXPECT_EQ(Navigate(view, 5, kNavPrevious), std::nullopt);
    EXPECT_EQ(ChildOf(view, 5), nullptr);
    EXPECT_EQ(ChildOf(view, -1), nullptr);
    EXPECT_EQ(ChildOf(view, 4)->id, Control::DetailsLink);
}

}  // namespace
}  // namespace velmora::win32
