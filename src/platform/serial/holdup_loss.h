// Pulses lost while the program was held up. The system keeps what the
// line brings in while nobody reads it, but only so much: a pseudo-terminal
// some 20 KB (ten seconds of the line at its full rate), a UART the 4 KB of
// the terminal layer and what its driver buffers. Whatever comes beyond that
// is dropped, and a driver that does not count its overruns (a
// pseudo-terminal, many USB adapters) says nothing of it. What it leaves is
// a hold-up whose bytes stop at what the buffer held, far short of what the
// line brought in at the rate just before.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

namespace pha {

class HoldUpLoss {
 public:
  struct Loss {
    std::int64_t from_ms;  // the hold-up, on the monotonic clock
    std::int64_t to_ms;
    std::int64_t bytes;  // about; a pulse is two of them
  };

  // Takes the bytes received from the line so far, `received`, at `now_ms`
  // on the monotonic clock, about once a second with everything waiting read
  // in. Where the time since the last sample was a hold-up and it brought
  // clearly fewer bytes than the rate before promised, tells how many went
  // missing.
  std::optional<Loss> Sample(std::int64_t now_ms, std::int64_t received);

  // The line was lost, or opened anew: what came before tells nothing.
  void Restart() { samples_.clear(); }

 private:
  struct Point {
    std::int64_t ms;
    std::int64_t received;
  };
  std::deque<Point> samples_;  // the last seconds without a hold-up
};

}  // namespace pha
