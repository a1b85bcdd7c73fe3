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
  // on the monotonic clock, about once a second with what is waiting read
  // in. Where the time since the sample before last was a hold-up and it
  // brought clearly fewer bytes than the rate before promised, tells how
  // many went missing: a sample after the hold-up ended, so that the system's
  // backlog has reached the program whole.
  std::optional<Loss> Sample(std::int64_t now_ms, std::int64_t received);

  // The line was lost, or opened anew: what came before tells nothing.
  void Restart() {
    samples_.clear();
    held_.reset();
  }

 private:
  struct Point {
    std::int64_t ms;
    std::int64_t received;
  };
  // A hold-up seen, to be judged at the next sample.
  struct HeldUp {
    std::int64_t from_ms, to_ms;
    std::int64_t received;  // by its start
    double rate;            // bytes a millisecond before it
  };
  std::deque<Point> samples_;  // the last seconds without a hold-up
  std::optional<HeldUp> held_;
};

}  // namespace pha
