// The system clock in the local time zone, and the system's monotonic clock.
#pragma once

#include "main_window/files_and_clock.h"

namespace pha {

class LocalClock final : public Clock {
 public:
  LocalDateTime Now() const override;
};

// CLOCK_MONOTONIC: stands still while the machine sleeps, as the detector
// line does.
class SteadyClock final : public MonotonicClock {
 public:
  std::int64_t NowMs() const override;
};

}  // namespace pha
