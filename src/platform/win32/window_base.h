// What the program's windows share: one window procedure for every window
// class of the adapter, handing each message to the object attached to its
// window; and, for the two windows the core loads, geometry kept in whole
// pixels of the window's own DPI and reported in twips.
#pragma once

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace velmora::win32 {

// An object that handles the messages of one or more windows.
class MessageTarget {
public:
    virtual LRESULT OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~MessageTarget() = default;
};

// Registers a window class once per process; its windows' messages go to
// the target attached to them, or to DefWindowProc while there is none.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, HBRUSH background);
// Null detaches: the window must not reach an object that is gone.
void AttachTarget(HWND hwnd, MessageTarget* target);

class WindowBase : public NativeWindow, protected MessageTarget {
public:
    ~WindowBase() override;
    Twips Left() const override { return ToTwips(left_); }
    Twips Top() const override { return ToTwips(top_); }
    Twips Width() const override { return ToTwips(width_); }
    Twips Height() const override { return ToTwips(height_); }
    void SetLeft(Twips value) override;
    void SetTop(Twips value) override;
    void SetHeight(Twips value) override;
    void KeepOnTop() override;
    // Only a notice is announced; the pop-up says how.
    void Announce(const Text&, const Text&) override {}

    // The window as message boxes take their owner.
    HWND Window() const { return hwnd_; }

protected:
    // Creates the window at the design's size at `dpi`, hidden, at the
    // top-left corner of the screen. Its messages reach OnWindowMessage once
    // the derived constructor calls Attach.
    WindowBase(const WindowDesign& design, int dpi, DWORD exStyle, const wchar_t* className, DWORD style,
               HINSTANCE instance);
    void Attach() { AttachTarget(hwnd_, this); }
    // Asks for the window to be put where the fields say, once the running
    // handler has made all its changes: a handler that sets the height and
    // then the top moves the window in one step, with no frame in between.
    void Place();
    // Puts the window where the fields say, now.
    virtual void ApplyPlacement();
    // The messages of the window (and of any child it attaches itself to)
    // besides the placement.
    virtual LRESULT OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    Twips ToTwips(int pixels) const;
    int ToPixels(Twips twips) const;

    const int dpi_;
    HWND hwnd_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;

private:
    LRESULT OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) final;

    bool placementPending_ = false;
};

}  // namespace velmora::win32
