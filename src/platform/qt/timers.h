// One QTimer per core timer.
#pragma once

#include <QTimer>
#include <functional>

#include "platform/platform.h"

namespace velmora::qt {

class Timer final : public NativeTimer {
public:
    explicit Timer(std::function<void()> onTick);
    ~Timer() override;
    void Start(std::uint32_t intervalMs) override;
    void Stop() override;

private:
    QTimer* timer_;
};

}  // namespace velmora::qt
