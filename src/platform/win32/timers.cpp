#include "platform/win32/timers.h"

namespace velmora::win32 {
namespace {
constexpr wchar_t kClassName[] = L"VelmoraTimers";
}

class TimerHost::Timer final : public NativeTimer {
public:
    Timer(TimerHost& host, UINT_PTR id, std::function<void()> onTick)
        : host_(host), id_(id), onTick_(std::move(onTick)) {
        host_.timers_[id_] = this;
    }
    ~Timer() override {
        Stop();
        host_.timers_.erase(id_);
    }
    void Start(std::uint32_t intervalMs) override {
        if (running_) return;
        running_ = SetTimer(host_.hwnd_, id_, intervalMs, nullptr) != 0;
    }
    void Stop() override {
        if (!running_) return;
        KillTimer(host_.hwnd_, id_);
        running_ = false;
    }
    bool Running() const { return running_; }
    const std::function<void()>& OnTick() const { return onTick_; }

private:
    TimerHost& host_;
    UINT_PTR id_;
    std::function<void()> onTick_;
    bool running_ = false;
};

TimerHost::TimerHost(HINSTANCE instance) {
    RegisterWindowClass(instance, kClassName, nullptr);
    hwnd_ = CreateWindowExW(0, kClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    AttachTarget(hwnd_, this);
}

TimerHost::~TimerHost() {
    AttachTarget(hwnd_, nullptr);
    DestroyWindow(hwnd_);
}

std::unique_ptr<NativeTimer> TimerHost::Create(std::function<void()> onTick) {
    return std::make_unique<Timer>(*this, nextId_++, std::move(onTick));
}

void TimerHost::Tick(UINT_PTR id) {
    auto it = timers_.find(id);
    if (it == timers_.end() || !it->second->Running()) return;
    // A copy: the handler may destroy its own timer.
    std::function<void()> tick = it->second->OnTick();
    tick();
}

LRESULT TimerHost::OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER) return DefWindowProcW(hwnd, message, wParam, lParam);
    Tick(wParam);
    return 0;
}

}  // namespace velmora::win32
