#include "app/main_window.h"
#include "core/arith.h"

namespace velmora {
namespace {

constexpr std::int16_t kShakeTicks = 20;
constexpr std::int16_t kJitterOffset = 40;
constexpr float kJitterSpan = 80;

// The saved position less the jitter offset. Made in 32 bits: for every
// position that a 16-bit subtraction can hold the result is the same, and
// below -32728 twips, where it would overflow, the tick still counts and the
// shake ends with the window back in place instead of never returning.
float JitterBase(std::int16_t saved) {
    return static_cast<float>(std::int32_t{saved} - kJitterOffset);
}

}  // namespace

void MainWindow::Shake() {
    shakeTicks_ = 0;
    shakeLeft_ = CInt16(Left());
    shakeTop_ = CInt16(Top());
    shakeTimer_.SetEnabled(true);
    while (shakeTicks_ < kShakeTicks) platform().PumpEvents();
    SetLeft(shakeLeft_);
    SetTop(shakeTop_);
    shakeTimer_.SetEnabled(false);
}

void MainWindow::OnShakeTimer() {
    platform().Randomize();
    const float r1 = platform().Rnd();
    SetLeft(r1 * kJitterSpan + JitterBase(shakeLeft_));
    const float r2 = platform().Rnd();
    SetTop(r2 * kJitterSpan + JitterBase(shakeTop_));
    platform().PumpPendingEvents();
    shakeTicks_ = AddInt16(shakeTicks_, 1);
}

}  // namespace velmora
