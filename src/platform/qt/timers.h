// One QTimer per core timer.
#pragma once

#include <QTimer>
#include <functional>

#include "platform/platform.h"

namespace velmora::qt {

class QtTimer final : public NativeTimer {
public:
    explicit QtTimer(std::function<void()> onTick);
    ~QtTimer() override;
    void Start(std::uint32_t intervalMs) override;
    void Stop() override;

private:
    QTimer* timer_;
};

}  // namespace velmora::qt
