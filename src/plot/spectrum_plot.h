// The plot of the sample, smoothed and reference spectra on one logarithmic
// count scale, over channels 0..1100, on a fixed grey grid.
#pragma once

#include <cstdint>

#include "main_window/window_ops.h"

namespace pha {

struct MeasurementState;

// Plot coordinates: x is the channel, from 0 at the left edge (pixel units
// put it there) to 1100 at the right; y is 10 ln(count). The top edge is a
// count of e^11.5 (about 98,716), the bottom edge e^-1.5 (about 0.22).
constexpr float kPlotWidth = 1100.0F;
constexpr float kPlotTop = 115.0F;
constexpr float kPlotHeight = -130.0F;  // negative: y grows upwards
constexpr Colour kGridColour = 0x707070;
constexpr Colour kSmoothedColour = 0x0000FF;   // pure red
constexpr Colour kReferenceColour = 0xFF0000;  // pure blue
constexpr int kDecadeLines = 7;                // counts 1 .. 1,000,000
constexpr int kChannelLineStep = 100;

// The plot's y of a count: 10 ln(count). A count below 1 has no place on a
// logarithmic scale (only a loaded file can bring one); it is put on the
// bottom edge, `bottom`, so that no NaN or infinity is ever drawn.
double PlotY(std::int32_t count, double bottom);

// Draws the whole picture from scratch: clear, coordinates, 7 decade lines,
// 12 channel lines, then the three traces interleaved channel by channel.
void DrwGrp(const MeasurementState& state, DrawingSurface& PicGrp);

}  // namespace pha
