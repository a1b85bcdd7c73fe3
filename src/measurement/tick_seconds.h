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

// The seconds are counted from one anchor, the first tick: a tick stands for
// the whole seconds from the anchor to now on the monotonic clock, rounded to
// the nearest, less those counted already. So a tick on time, give or take
// half a second, stands for 1; a tick that comes k seconds late for k + 1;
// and the tick that follows a late one on the timer's schedule for whatever
// is left, 0 when the late one counted the second it fell into. After any
// run of ticks the seconds counted are those since the anchor, rounded:
// neither the timer's jitter nor its drift either way adds up. The first
// tick stands for 1, for the interval before it, which may be shorter.
class TickSeconds {
 public:
  int Count(std::int64_t now_ms);

 private:
  std::optional<std::int64_t> anchor_ms_;
  std::int64_t counted_ = 0;  // whole seconds since the anchor, counted
};

}  // namespace pha
