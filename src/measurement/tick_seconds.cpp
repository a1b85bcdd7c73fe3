#include "measurement/tick_seconds.h"

#include <algorithm>

namespace pha {
namespace {

constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kHalfSecondMs = kSecondMs / 2;
// A tick that comes later than this counts as this much: a month, long
// beyond any measurement, and few enough smoothing steps to take at once.
constexpr std::int64_t kMostSeconds = 31 * 86400;

}  // namespace

int TickSeconds::Count(std::int64_t now_ms) {
  if (!anchor_ms_) {
    anchor_ms_ = now_ms;
    counted_ = 0;
    return 1;
  }
  const std::int64_t due = (now_ms - *anchor_ms_ + kHalfSecondMs) / kSecondMs;
  const std::int64_t seconds = std::max<std::int64_t>(due - counted_, 0);
  if (seconds > kMostSeconds) {
    // Counted from here on afresh.
    anchor_ms_ = now_ms;
    counted_ = 0;
    return static_cast<int>(kMostSeconds);
  }
  counted_ += seconds;
  return static_cast<int>(seconds);
}

}  // namespace pha
