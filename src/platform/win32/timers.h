// Timers on a hidden message-only window: WM_TIMER ticks arrive through the
// thread's message queue, so they run in the main loop, in PumpEvents and
// inside modal loops such as message boxes.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/window_base.h"

namespace velmora::win32 {

class TimerHost final : private MessageTarget {
public:
    explicit TimerHost(HINSTANCE instance);
    ~TimerHost();
    TimerHost(const TimerHost&) = delete;
    TimerHost& operator=(const TimerHost&) = delete;

    std::unique_ptr<NativeTimer> Create(std::function<void()> onTick);

private:
    class Timer;
    LRESULT OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    void Tick(UINT_PTR id);

    HWND hwnd_ = nullptr;
    UINT_PTR nextId_ = 1;
    std::map<UINT_PTR, Timer*> timers_;
};

}  // namespace velmora::win32
