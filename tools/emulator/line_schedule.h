// When each frame goes out on the emulated 19200-baud line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>

namespace pha::emulator {

// 19200 baud, 8N1: ten bit times per byte (start bit, 8 data bits, stop bit),
// so at most 1920 bytes or 960 two-byte frames per second.
constexpr int kLineBaud = 19200;
constexpr int kBitsPerByte = 10;
constexpr int kLineBytesPerS = kLineBaud / kBitsPerByte;

// Time on the line, counted exactly in bit times (1/19200 s).
using BitTimes = std::chrono::duration<std::int64_t, std::ratio<1, kLineBaud>>;

// Pulses arrive as a Poisson process: exponential times between arrivals at
// the mean rate. A frame starts on the line when its pulse has arrived and the
// previous frame has been sent; pulses that come faster than the line carries
// queue behind each other. Deterministic for a given seed.
class LineSchedule {
 public:
  struct Slot {
    BitTimes arrival;  // from the start of the run
    BitTimes start;    // the frame's first bit on the line
  };

  LineSchedule(double rate_per_s, std::uint64_t seed);

  // The slot of the next frame, which takes `bytes` bytes on the line.
  Slot Next(std::size_t bytes);

 private:
  double rate_per_s_;
  std::mt19937_64 engine_;
  double arrival_s_ = 0;
  BitTimes line_free_{0};
};

}  // namespace pha::emulator
