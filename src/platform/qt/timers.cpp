#include "platform/qt/timers.h"

namespace velmora::qt {

Timer::Timer(std::function<void()> onTick) : timer_(new QTimer) {
    // Precise: the slide's 30 ms steps and the 60 s check keep their pace;
    // the number of wake-ups is the same either way.
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, timer_, std::move(onTick));
}

// Deleted later: the timer may go away inside its own tick.
Timer::~Timer() {
    timer_->stop();
    timer_->deleteLater();
}

void Timer::Start(std::uint32_t intervalMs) {
    if (timer_->isActive()) return;
    timer_->start(static_cast<int>(intervalMs));
}

void Timer::Stop() {
    timer_->stop();
}

}  // namespace velmora::qt
