// The notice pop-up: borderless and topmost. It never takes the focus or
// activation, draws the background picture made for its DPI and paints its
// four labels over it; a pressed label captures the mouse so that the
// release comes back to it. Screen readers find it as an alert whose
// children are the labels, and hear of each notice once it shows.
#pragma once

#include <vector>

#include "platform/win32/gdi.h"
#include "platform/win32/label_painter.h"
#include "platform/win32/popup_iaccessible.h"
#include "platform/win32/window_base.h"
#include "popup/popup_labels.h"

namespace velmora::win32 {

class PopupWindow final : public WindowBase, private AccessibleHost {
public:
    static void RegisterClasses(HINSTANCE instance);
    // Laid out at `dpi` for its whole life.
    PopupWindow(HINSTANCE instance, const WindowDesign& design, WindowEvents& events, int dpi);
    ~PopupWindow() override;

    void Show() override;
    void Announce(const Text& name, const Text& description) override;
    void SetLabelCaption(Control label, const Text& caption) override;
    void MoveLabel(Control label, Twips left, Twips top) override;

protected:
    void ApplyPlacement() override;
    LRESULT OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // What screen readers see: the labels in reading order.
    HWND Window() const override { return hwnd_; }
    AccessibleView View() const override;
    void InvokeLater(Control label) override;

    void Paint();
    // Returns true when the message was a label press or release; the events
    // it raised may have destroyed this window.
    bool OnButton(UINT message, WPARAM wParam, LPARAM lParam);

    WindowEvents& events_;
    int designHeight_;
    GdiObject<HBITMAP> background_;  // null when it cannot be decoded
    GdiObject<HFONT> songFont_;
    GdiObject<HFONT> dialogFont_;
    PopupLabels labels_;
    std::vector<HFONT> fonts_;  // one a label, in the labels' order
    bool shown_ = false;
    // Made on the first request; disconnected when the window goes.
    PopupAccessible* accessible_ = nullptr;
    Text alertName_, alertDescription_;
    bool announcePending_ = false;
};

}  // namespace velmora::win32
