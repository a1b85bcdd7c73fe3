// What the emulated detector sends: one two-byte frame per pulse, and the
// tally of what went out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace pha::emulator {

// The channels the program accepts; a frame outside them is rejected.
constexpr int kMinChannel = 10;
constexpr int kMaxChannel = 1023;
constexpr std::size_t kFrameBytes = 2;

// The value sent in place of a pulse by fault injection: both bytes 0xFF, as
// a receiver reads a glitch on the idle line. An aligned decoder rejects it,
// logs "(65535)", discards the next byte and reads the rest of the next frame
// with the first byte of the one after it; unless that byte is 1, 2 or 3 the
// pair is rejected too, one more byte is discarded, and the decoder is aligned
// again at the third frame after the invalid one.
constexpr int kInvalidValue = 0xFFFF;

// The default spectrum: a 662 keV line at one keV per channel, its photopeak
// a Gaussian, its Compton continuum ending at the Compton edge
// 662 * (1 - 1 / (1 + 2 * 662 / 511)) = 478, over a background that falls
// exponentially with the channel.
constexpr int kPhotopeakChannel = 662;
constexpr int kComptonEdgeChannel = 478;

// Mean pulse rates the emulator accepts. Above 960 per second the line, not
// the source, sets the rate.
constexpr double kMinRatePerS = 0.001;
constexpr double kMaxRatePerS = 1e6;

struct Options {
  double rate_per_s = 300;             // mean pulse rate (Poisson arrivals)
  std::optional<int> fixed_channel{};  // every pulse in this channel instead of the spectrum
  bool as_fast_as_possible = false;    // ignore the rate and the line speed
  std::uint64_t frame_count = 0;       // frames to send, faulty ones included; 0: endless
  std::uint64_t seed = 1;              // same seed, same frames and arrival times
  // Fault injection, counting frames from 1; 0 disables. Frame k loses its
  // first (low) byte when k is a multiple of drop_byte_every: its high byte
  // then pairs with the next frame's low byte, and the decoder has to realign.
  // Frame k is replaced by kInvalidValue when k is a multiple of
  // invalid_every; that wins where both apply.
  std::uint64_t drop_byte_every = 0;
  std::uint64_t invalid_every = 0;
  // Paced runs: 0 writes each frame the moment it has crossed the line, as a
  // UART without a FIFO would hand it on. N hands the bytes on in batches
  // every N ms, as a USB serial adapter does (many wait 16 ms); frames still
  // never arrive before their time on the line.
  int delivery_period_ms = 0;
};

// Empty when `options` are usable, otherwise what is wrong with them.
std::string CheckOptions(const Options& options);

enum class FrameKind { kValid, kByteDropped, kInvalid };

struct Frame {
  std::uint64_t number = 0;  // 1 for the first frame
  FrameKind kind = FrameKind::kValid;
  // The pulse's channel. A pulse is drawn for every frame, faulty or not, so
  // that fault injection leaves the channels of the other frames unchanged.
  int channel = 0;
  std::array<std::uint8_t, kFrameBytes> bytes{};  // on the line in this order
  std::size_t size = kFrameBytes;                 // 1 when a byte was dropped

  std::span<const std::uint8_t> Bytes() const { return {bytes.data(), size}; }
  friend bool operator==(const Frame&, const Frame&) = default;
};

// Deterministic for a given seed: the same options give the same frames.
class FrameGenerator {
 public:
  // Throws std::invalid_argument when CheckOptions() finds a problem.
  explicit FrameGenerator(const Options& options);

  Frame Next();

 private:
  int DrawChannel();

  Options options_;
  std::mt19937_64 engine_;
  std::vector<double> cumulative_weight_;  // by channel, for inverse-CDF sampling
  std::uint64_t frames_ = 0;
};

// Counts of the frames written out, whole.
struct Statistics {
  std::uint64_t frames_sent = 0;     // every kind
  std::uint64_t valid_frames = 0;    // valid frames, both bytes sent
  std::uint64_t invalid_frames = 0;  // kInvalidValue sent in place of a pulse
  std::uint64_t bytes_dropped = 0;   // one per frame that lost its low byte
  std::uint64_t bytes_sent = 0;
  std::uint64_t channel_sum = 0;                           // over the valid frames
  std::array<std::uint64_t, kMaxChannel + 1> histogram{};  // valid frames by channel

  void Count(const Frame& frame);
  void Add(const Statistics& other);
  friend bool operator==(const Statistics&, const Statistics&) = default;
};

}  // namespace pha::emulator
