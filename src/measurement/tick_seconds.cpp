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
  if (!counted_to_ms_) {
    counted_to_ms_ = now_ms;  // the first interval may be shorter than a second
    return 1;
  }
  const std::int64_t elapsed_ms = now_ms - *counted_to_ms_;
  const std::int64_t seconds =
      std::clamp<std::int64_t>((elapsed_ms + kHalfSecondMs) / kSecondMs, 1, kMostSeconds);
  counted_to_ms_ = std::clamp(*counted_to_ms_ + seconds * kSecondMs, now_ms - kHalfSecondMs,
                              now_ms + kHalfSecondMs);
  return static_cast<int>(seconds);
}

}  // namespace pha
