#include "emulator/line_schedule.h"

#include <algorithm>
#include <cmath>

namespace pha::emulator {
namespace {

// Arrival times come from their own random stream, so that pacing never
// changes which channels are drawn.
constexpr std::uint64_t kArrivalStreamKey = 0x9E3779B97F4A7C15;

}  // namespace

LineSchedule::LineSchedule(double rate_per_s, std::uint64_t seed)
    : rate_per_s_(rate_per_s), engine_(seed ^ kArrivalStreamKey) {}

LineSchedule::Slot LineSchedule::Next(std::size_t bytes) {
  // u in (0, 1], so the logarithm is finite.
  const double u = static_cast<double>((engine_() >> 11) + 1) * 0x1.0p-53;
  arrival_s_ += -std::log(u) / rate_per_s_;
  // Rounded up: a frame never starts before its pulse.
  const BitTimes arrival{static_cast<std::int64_t>(std::ceil(arrival_s_ * kLineBaud))};
  const BitTimes start = std::max(arrival, line_free_);
  line_free_ = start + BitTimes{static_cast<std::int64_t>(bytes) * kBitsPerByte};
  return {arrival, start};
}

}  // namespace pha::emulator
