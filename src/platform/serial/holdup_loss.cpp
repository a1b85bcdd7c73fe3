#include "platform/serial/holdup_loss.h"

#include <cmath>

namespace pha {
namespace {

// A gap this long between samples is a hold-up worth a look: shorter ones
// fit in any buffer of the line.
constexpr std::int64_t kHoldUpMs = 2000;
// The rate before a hold-up, from this many seconds of samples; at least
// kFewestRateMs of them.
constexpr std::int64_t kRateMs = 10'000;
constexpr std::int64_t kFewestRateMs = 3000;
// A shortfall counts when it passes a tenth of what was due and, against
// the chance variation of pulses that come at random (two bytes a pulse),
// six standard deviations.
constexpr double kShortFraction = 0.1;
constexpr double kDeviations = 6.0;

}  // namespace

std::optional<HoldUpLoss::Loss> HoldUpLoss::Sample(std::int64_t now_ms, std::int64_t received) {
  std::optional<Loss> loss;
  // A hold-up is judged one sample after it ended: what the system kept
  // reaches the program over some reads, and by then it has all come.
  if (held_) {
    const double due = held_->rate * static_cast<double>(now_ms - held_->from_ms);
    const double got = static_cast<double>(received - held_->received);
    const double chance = kDeviations * std::sqrt(2.0 * due);
    if (due - got > kShortFraction * due && due - got > chance)
      loss = Loss{held_->from_ms, held_->to_ms, std::llround(due - got)};
    held_.reset();
  }
  if (!samples_.empty() && now_ms - samples_.back().ms >= kHoldUpMs) {
    const Point last = samples_.back();
    const Point first = samples_.front();
    if (last.ms - first.ms >= kFewestRateMs) {
      held_ = HeldUp{last.ms, now_ms, last.received,
                     static_cast<double>(last.received - first.received) /
                         static_cast<double>(last.ms - first.ms)};
    }
    // The hold-up is no measure of the rate after it.
    samples_.clear();
  }
  samples_.push_back({now_ms, received});
  while (samples_.size() > 2 && now_ms - samples_[1].ms >= kRateMs) samples_.pop_front();
  return loss;
}

}  // namespace pha
