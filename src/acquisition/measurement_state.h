// The one record of acquisition data: the three spectra and the counters.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

namespace pha {

class DrawingSurface;

// A Boolean as the detector front end has always stored it: True is -1.
enum class Flag : std::int16_t { False = 0, True = -1 };

constexpr int kSpectrumChannels = 2001;  // channels 0..2000
constexpr int kMinValidChannel = 10;
constexpr int kMaxValidChannel = 1023;
constexpr std::int32_t kCountLimit = std::numeric_limits<std::int32_t>::max();

// Counts per channel. An empty spectrum holds 1 in every channel (the plot
// takes logarithms). Channels beyond 1023 exist so that the nine-channel
// smoothing window never leaves the array.
using Spectrum = std::array<std::int32_t, kSpectrumChannels>;

// Adds 1 to a count, stopping at the 32-bit limit instead of wrapping.
constexpr void AddOneSaturating(std::int32_t& count) {
  if (count < kCountLimit) ++count;
}

// Adds a non-negative amount, stopping at the 32-bit limit.
constexpr void AddSaturating(std::int32_t& count, std::int32_t amount) {
  count = count > kCountLimit - amount ? kCountLimit : count + amount;
}

struct MeasurementState {
  Spectrum SpcSmp{};          // sample: pulses per channel of the current measurement
  Spectrum SpcSmt{};          // smoothed sample: each pulse adds 1 to channels n-4..n+4
  Spectrum SpcRef{};          // reference, loaded from a file
  Flag FlgRun = Flag::False;  // a measurement is running
  std::int32_t TimMes = 0;    // elapsed seconds of the current measurement
  // Totals of the current measurement. 64 bits: 24 h at the line's 960
  // frames/s, all in channel 1023, sum to about 8.5e10.
  std::int64_t CntTot = 0;
  std::int64_t SumTot = 0;
  // Pulses of the current second, counted whether or not a measurement runs;
  // cleared by every one-second tick.
  std::int32_t CntSec = 0;
  std::int32_t SumSec = 0;
  // Advanced by every write to a spectrum (a pulse counted, a reset, a load),
  // so that a redraw can tell that the picture would come out the same.
  std::uint64_t spectra_changes = 0;

  friend bool operator==(const MeasurementState&, const MeasurementState&) = default;
};

// Resets the measurement: TimMes, SumTot and CntTot to 0, every channel of
// the three spectra to 1; then redraws the plot on `PicGrp`. Leaves FlgRun
// and the per-second counters alone.
void IniMes(MeasurementState& state, DrawingSurface& PicGrp);

}  // namespace pha
