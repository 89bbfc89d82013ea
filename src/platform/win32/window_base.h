// What the program's two windows share: geometry kept in whole pixels of
// the window's own DPI and reported in twips, and the handle the core sees.
#pragma once

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace velmora::win32 {

class WindowBase : public NativeWindow {
public:
    ~WindowBase() override;
    Handle hWnd() const override { return ToHandle(hwnd_); }
    Twips Left() const override { return ToTwips(left_); }
    Twips Top() const override { return ToTwips(top_); }
    Twips Width() const override { return ToTwips(width_); }
    Twips Height() const override { return ToTwips(height_); }
    void SetLeft(Twips value) override;
    void SetTop(Twips value) override;
    void SetHeight(Twips value) override;

protected:
    // Creates the window at the design's size at `dpi`, hidden, at the
    // top-left corner of the screen.
    WindowBase(const WindowDesign& design, int dpi, DWORD exStyle, const wchar_t* className, DWORD style,
               HINSTANCE instance);
    // Asks for the window to be put where the fields say, once the running
    // handler has made all its changes: a handler that sets the height and
    // then the top moves the window in one step, with no frame in between.
    void Place();
    // Puts the window where the fields say, now.
    virtual void ApplyPlacement();
    // Handles the deferred placement; true when `message` was it.
    bool OnPlacementMessage(UINT message);
    Twips ToTwips(int pixels) const;
    int ToPixels(Twips twips) const;

    const int dpi_;
    HWND hwnd_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool placementPending_ = false;
};

// Registers a window class once per process.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HBRUSH background);

}  // namespace velmora::win32
