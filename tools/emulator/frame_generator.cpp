#include "emulator/frame_generator.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace pha::emulator {
namespace {

// Shape of the default spectrum, heights relative to the photopeak's top.
constexpr double kPhotopeakSigmaChannels = 20;  // about 7 % FWHM at 662 keV
constexpr double kContinuumHeight = 0.3;
constexpr double kBackgroundHeight = 0.5;  // at channel 0
constexpr double kBackgroundFallChannels = 150;

double Square(double x) { return x * x; }

// Relative pulse density in `channel` of the default spectrum.
double SpectrumDensity(int channel) {
  const double c = channel;
  const double photopeak =
      std::exp(-0.5 * Square((c - kPhotopeakChannel) / kPhotopeakSigmaChannels));
  // The continuum rises towards the edge and ends there, blurred by the same
  // resolution as the photopeak.
  const double continuum =
      kContinuumHeight * (0.6 + 0.4 * Square(c / kComptonEdgeChannel)) * 0.5 *
      std::erfc((c - kComptonEdgeChannel) / (std::sqrt(2.0) * kPhotopeakSigmaChannels));
  const double background = kBackgroundHeight * std::exp(-c / kBackgroundFallChannels);
  return photopeak + continuum + background;
}

// Uniform in [0, 1), from the top 53 bits: the same on every platform, which
// the standard distributions do not promise.
double DrawUnit(std::mt19937_64& engine) { return static_cast<double>(engine() >> 11) * 0x1.0p-53; }

bool IsMultiple(std::uint64_t number, std::uint64_t every) {
  return every != 0 && number % every == 0;
}

}  // namespace

std::string CheckOptions(const Options& options) {
  if (!(options.rate_per_s >= kMinRatePerS && options.rate_per_s <= kMaxRatePerS))
    return "the rate must lie between 0.001 and 1000000 pulses per second";
  if (options.fixed_channel &&
      (*options.fixed_channel < kMinChannel || *options.fixed_channel > kMaxChannel))
    return "the channel must lie between 10 and 1023";
  if (options.delivery_period_ms < 0 || options.delivery_period_ms > 1000)
    return "the delivery period must lie between 0 and 1000 ms";
  return {};
}

FrameGenerator::FrameGenerator(const Options& options) : options_(options), engine_(options.seed) {
  if (const std::string problem = CheckOptions(options); !problem.empty())
    throw std::invalid_argument(problem);
  if (options.fixed_channel) return;
  cumulative_weight_.assign(kMaxChannel + 1, 0.0);  // channels below 10 keep weight 0
  double sum = 0;
  for (int channel = kMinChannel; channel <= kMaxChannel; ++channel) {
    sum += SpectrumDensity(channel);
    cumulative_weight_[static_cast<std::size_t>(channel)] = sum;
  }
}

int FrameGenerator::DrawChannel() {
  if (options_.fixed_channel) return *options_.fixed_channel;
  // The first channel whose cumulative weight exceeds u; u < total, and the
  // channels below 10 (cumulative weight 0) never exceed u >= 0.
  const double u = DrawUnit(engine_) * cumulative_weight_.back();
  const auto it = std::upper_bound(cumulative_weight_.begin(), cumulative_weight_.end(), u);
  return static_cast<int>(it - cumulative_weight_.begin());
}

Frame FrameGenerator::Next() {
  Frame frame;
  frame.number = ++frames_;
  frame.channel = DrawChannel();
  int value = frame.channel;
  if (IsMultiple(frame.number, options_.invalid_every)) {
    frame.kind = FrameKind::kInvalid;
    value = kInvalidValue;
  }
  frame.bytes = {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
  if (frame.kind == FrameKind::kValid && IsMultiple(frame.number, options_.drop_byte_every)) {
    frame.kind = FrameKind::kByteDropped;
    frame.bytes = {frame.bytes[1], 0};
    frame.size = 1;
  }
  return frame;
}

void Statistics::Count(const Frame& frame) {
  ++frames_sent;
  bytes_sent += frame.size;
  switch (frame.kind) {
    case FrameKind::kValid:
      ++valid_frames;
      channel_sum += static_cast<std::uint64_t>(frame.channel);
      ++histogram[static_cast<std::size_t>(frame.channel)];
      break;
    case FrameKind::kByteDropped:
      bytes_dropped += kFrameBytes - frame.size;
      break;
    case FrameKind::kInvalid:
      ++invalid_frames;
      break;
  }
}

void Statistics::Add(const Statistics& other) {
  frames_sent += other.frames_sent;
  valid_frames += other.valid_frames;
  invalid_frames += other.invalid_frames;
  bytes_dropped += other.bytes_dropped;
  bytes_sent += other.bytes_sent;
  channel_sum += other.channel_sum;
  for (std::size_t i = 0; i < histogram.size(); ++i) histogram[i] += other.histogram[i];
}

}  // namespace pha::emulator
