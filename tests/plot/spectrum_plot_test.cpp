// The spectrum picture as drawing calls in plot units. The pixels it makes on
// the real surface are in tests/platform/qt_drawing_surface_test.cpp.
#include "plot/spectrum_plot.h"

#include <gtest/gtest.h>

#include <cmath>

#include "acquisition/measurement_state.h"
#include "support/fakes.h"

namespace pha {
namespace {

using Surface = testing::RecordingSurface;
using Op = Surface::Op;
constexpr Colour kGrey = 0x707070;
constexpr std::size_t kFirstTrace = 1 + 19;  // after the clear and the grid
constexpr float kTolerance = 1e-3F;

TEST(DrwGrp, ClearsDrawsTheGreyGridThenTheThreeTracesInterleavedChannelByChannel) {
  // A different count in every channel of every spectrum, so that a swapped
  // spectrum or a shifted channel shows; counts below 1 go to the bottom edge.
  MeasurementState state;
  for (int i = 0; i < kSpectrumChannels; ++i) {
    state.SpcSmp[i] = i + 1;
    state.SpcSmt[i] = 3 * i + 2;
    state.SpcRef[i] = 90'000 - 7 * i;
  }
  state.SpcSmp[0] = 0;
  state.SpcSmt[500] = INT32_MIN;
  state.SpcRef[1101] = -1;
  state.SpcSmp[700] = kCountLimit;
  Surface surface;
  DrwGrp(state, surface);

  ASSERT_EQ(surface.calls.size(), kFirstTrace + 3303);
  EXPECT_EQ(surface.calls[0].op, Op::Cls);
  // The grid: grey lines, their places shown on pixels in the window's tests.
  for (std::size_t i = 1; i < kFirstTrace; ++i) {
    EXPECT_EQ(surface.calls[i].op, Op::ColouredLine) << i;
    EXPECT_EQ(surface.calls[i].colour, kGrey) << i;
  }
  const Spectrum* spectra[] = {&state.SpcSmp, &state.SpcSmt, &state.SpcRef};
  const Op ops[] = {Op::Line, Op::ColouredLine, Op::ColouredLine};
  const Colour colours[] = {0, 0x0000FF, 0xFF0000};
  const auto y = [](std::int32_t count) { return count < 1 ? -15.0 : 10.0 * std::log(count); };
  for (int i = 0; i <= 1100; ++i) {
    for (int t = 0; t < 3; ++t) {
      const Surface::Call& s = surface.calls[kFirstTrace + 3 * std::size_t(i) + std::size_t(t)];
      const double a = y((*spectra[t])[i]);
      const double b = y((*spectra[t])[i + 1]);
      ASSERT_TRUE(s.op == ops[t] && s.colour == colours[t] && s.x1 == i && s.x2 == i + 1 &&
                  std::abs(s.y1 - a) < kTolerance && std::abs(s.y2 - b) < kTolerance)
          << "channel " << i << " trace " << t << ": (" << s.x1 << ", " << s.y1 << ") to (" << s.x2
          << ", " << s.y2 << ") colour " << s.colour;
    }
  }
}

}  // namespace
}  // namespace pha
