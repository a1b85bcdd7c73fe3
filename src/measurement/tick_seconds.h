// How many seconds a tick of the one-second timer stands for.
//
// A tick that falls due while the user-interface thread is held up (a
// display server that stalls, a save to a network folder that hangs, a
// machine that swaps) comes once, late. Counted as one second, it would
// shorten the measuring time while the pulses of that time are still
// counted, and every figure would come out too high.
#pragma once

#include <cstdint>
#include <optional>

namespace pha {

class TickSeconds {
 public:
  // The whole seconds that the tick at `now_ms` (monotonic) stands for: 1 for
  // a tick on time, k for a tick that comes k seconds after the last one.
  // The seconds counted keep within half a second of the clock, so that
  // neither a timer's jitter nor its drift either way adds up.
  int Count(std::int64_t now_ms);

 private:
  std::optional<std::int64_t> counted_to_ms_;  // the end of the last second counted
};

}  // namespace pha
