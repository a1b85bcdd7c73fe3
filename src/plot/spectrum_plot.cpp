#include "plot/spectrum_plot.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "acquisition/measurement_state.h"

namespace pha {
namespace {

// The traces run from channel `first` to `last` + 1; each channel's
// logarithm is taken once per redraw.
using TraceY = std::array<double, kSpectrumChannels>;

void FillTraceY(const Spectrum& spectrum, int first, int end, double bottom, TraceY& y) {
  for (int i = first; i <= end; ++i) y[i] = PlotY(spectrum[i], bottom);
}

int NearestInt16(float value) {
  return static_cast<int>(std::lround(std::clamp(value, -32768.0F, 32767.0F)));
}

}  // namespace

double PlotY(std::int32_t count, double bottom) {
  if (count < 1) return bottom;
  return 10.0 * std::log(static_cast<double>(count));
}

void DrwGrp(const MeasurementState& state, DrawingSurface& PicGrp) {
  PicGrp.Cls();
  PicGrp.SetScaleMode(DrawingSurface::kScaleModePixels);
  PicGrp.SetScaleHeight(kPlotHeight);
  PicGrp.SetScaleTop(kPlotTop);
  PicGrp.SetScaleWidth(kPlotWidth);

  const float left = PicGrp.ScaleLeft();
  const float width = PicGrp.ScaleWidth();
  for (int k = 0; k < kDecadeLines; ++k) {
    const auto y = static_cast<float>(10.0 * std::log(std::pow(10.0, k)));
    PicGrp.Line(left, y, left + width, y, kGridColour);
  }

  const float top = PicGrp.ScaleTop();
  const float height = PicGrp.ScaleHeight();
  for (int x = 0; x <= static_cast<int>(kPlotWidth); x += kChannelLineStep) {
    const auto fx = static_cast<float>(x);
    PicGrp.Line(fx, top, fx, top + height, kGridColour);
  }

  // Each segment runs from channel i to i + 1; the last one ends just past
  // the right edge and is clipped there.
  const int first = std::max(0, NearestInt16(PicGrp.ScaleLeft()));
  const int last = std::min(kSpectrumChannels - 2, NearestInt16(PicGrp.ScaleWidth()));
  if (first > last) return;
  const double bottom = static_cast<double>(top) + static_cast<double>(height);

  TraceY smp;
  TraceY smt;
  TraceY ref;
  FillTraceY(state.SpcSmp, first, last + 1, bottom, smp);
  FillTraceY(state.SpcSmt, first, last + 1, bottom, smt);
  FillTraceY(state.SpcRef, first, last + 1, bottom, ref);

  for (int i = first; i <= last; ++i) {
    const auto x1 = static_cast<float>(i);
    const auto x2 = static_cast<float>(i + 1);
    PicGrp.Line(x1, static_cast<float>(smp[i]), x2, static_cast<float>(smp[i + 1]));
    PicGrp.Line(x1, static_cast<float>(smt[i]), x2, static_cast<float>(smt[i + 1]),
                kSmoothedColour);
    PicGrp.Line(x1, static_cast<float>(ref[i]), x2, static_cast<float>(ref[i + 1]),
                kReferenceColour);
  }
}

}  // namespace pha
