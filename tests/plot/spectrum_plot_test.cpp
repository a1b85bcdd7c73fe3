// The spectrum picture as drawing calls in plot units.
#include "plot/spectrum_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "acquisition/measurement_state.h"
#include "support/fakes.h"

namespace {

using Surface = pha::testing::RecordingSurface;
using Op = Surface::Op;
constexpr std::int32_t kLimit = 2'147'483'647;
constexpr pha::Colour kGrey = 0x707070;
constexpr std::size_t kFirstTrace = 1 + 19;  // after the clear and the grid
constexpr float kTolerance = 1e-3F;

pha::MeasurementState Ones() {
  pha::MeasurementState state;
  state.SpcSmp.fill(1);
  state.SpcSmt.fill(1);
  state.SpcRef.fill(1);
  return state;
}

Surface Draw(const pha::MeasurementState& state) {
  Surface surface;
  pha::DrwGrp(state, surface);
  return surface;
}

// Segment `i` of trace `t` (0 sample, 1 smoothed, 2 reference).
const Surface::Call& Segment(const Surface& surface, int i, int t) {
  return surface.calls.at(kFirstTrace + 3 * static_cast<std::size_t>(i) + t);
}

bool SameCalls(const Surface& a, const Surface& b) {
  return std::equal(a.calls.begin(), a.calls.end(), b.calls.begin(), b.calls.end(),
                    [](const Surface::Call& p, const Surface::Call& q) {
                      return p.op == q.op && p.x1 == q.x1 && p.y1 == q.y1 && p.x2 == q.x2 &&
                             p.y2 == q.y2 && p.colour == q.colour;
                    });
}

TEST(DrwGrp, ClearsOnceThenDrawsTheGreyGrid) {
  const Surface surface = Draw(Ones());
  ASSERT_EQ(surface.calls.size(), kFirstTrace + 3303);
  EXPECT_EQ(surface.calls[0].op, Op::Cls);
  EXPECT_EQ(std::count_if(surface.calls.begin(), surface.calls.end(),
                          [](const Surface::Call& c) { return c.op == Op::Cls; }),
            1);
  // 10 ln(10^k), k = 0..6: counts 1 to 1,000,000.
  const float decade_y[] = {0.0F,      23.02585F,  46.05170F, 69.07755F,
                            92.10340F, 115.12925F, 138.15511F};
  for (int k = 0; k < 7; ++k) {
    SCOPED_TRACE(k);
    const Surface::Call& line = surface.calls[1 + k];
    EXPECT_EQ(line.op, Op::ColouredLine);
    EXPECT_EQ(line.colour, kGrey);
    EXPECT_EQ(line.x1, 0.0F);
    EXPECT_EQ(line.x2, 1100.0F);
    EXPECT_NEAR(line.y1, decade_y[k], kTolerance);
    EXPECT_NEAR(line.y2, decade_y[k], kTolerance);
  }
  for (int j = 0; j < 12; ++j) {
    SCOPED_TRACE(j);
    const Surface::Call& line = surface.calls[8 + j];
    EXPECT_EQ(line.op, Op::ColouredLine);
    EXPECT_EQ(line.colour, kGrey);
    EXPECT_EQ(line.x1, 100.0F * j);
    EXPECT_EQ(line.x2, 100.0F * j);
    EXPECT_EQ(line.y1, 115.0F);
    EXPECT_EQ(line.y2, -15.0F);
  }
}

TEST(DrwGrp, DrawsTheThreeTracesInterleavedChannelByChannel) {
  // A different count in every channel of every spectrum, so that a swapped
  // spectrum or a shifted channel shows.
  pha::MeasurementState state = Ones();
  for (int i = 0; i < pha::kSpectrumChannels; ++i) {
    state.SpcSmp[i] = i + 1;
    state.SpcSmt[i] = 3 * i + 2;
    state.SpcRef[i] = 90'000 - 7 * i;
  }
  const Surface surface = Draw(state);
  ASSERT_EQ(surface.calls.size(), kFirstTrace + 3303);
  const pha::Spectrum* spectra[] = {&state.SpcSmp, &state.SpcSmt, &state.SpcRef};
  const Op ops[] = {Op::Line, Op::ColouredLine, Op::ColouredLine};
  const pha::Colour colours[] = {0, 0x0000FF, 0xFF0000};
  for (int i = 0; i <= 1100; ++i) {
    for (int t = 0; t < 3; ++t) {
      const Surface::Call& s = Segment(surface, i, t);
      const double a = 10.0 * std::log((*spectra[t])[i]);
      const double b = 10.0 * std::log((*spectra[t])[i + 1]);
      ASSERT_TRUE(s.op == ops[t] && s.colour == colours[t] && s.x1 == i && s.x2 == i + 1 &&
                  std::abs(s.y1 - a) < kTolerance && std::abs(s.y2 - b) < kTolerance)
          << "channel " << i << " trace " << t << ": (" << s.x1 << ", " << s.y1 << ") to (" << s.x2
          << ", " << s.y2 << ") colour " << s.colour;
    }
  }
}

TEST(DrwGrp, PutsCountsBelowOneOnTheBottomEdgeAndNeverDrawsANonFiniteNumber) {
  // Counts of 1 and above: DrawsTheThreeTracesInterleavedChannelByChannel.
  pha::MeasurementState state = Ones();
  state.SpcSmp[0] = 0;  // the first channel drawn
  state.SpcSmt[500] = INT32_MIN;
  state.SpcRef[1101] = -1;     // the last channel drawn
  state.SpcSmp[700] = kLimit;  // far above the top edge
  const Surface surface = Draw(state);
  ASSERT_EQ(surface.calls.size(), kFirstTrace + 3303);
  EXPECT_NEAR(Segment(surface, 0, 0).y1, -15.0F, kTolerance);
  EXPECT_NEAR(Segment(surface, 499, 1).y2, -15.0F, kTolerance);
  EXPECT_NEAR(Segment(surface, 500, 1).y1, -15.0F, kTolerance);
  EXPECT_NEAR(Segment(surface, 1100, 2).y2, -15.0F, kTolerance);
  EXPECT_NEAR(Segment(surface, 700, 0).y1, 214.8756F, kTolerance);
  for (const Surface::Call& call : surface.calls)
    ASSERT_TRUE(std::isfinite(call.x1) && std::isfinite(call.y1) && std::isfinite(call.x2) &&
                std::isfinite(call.y2));
}

TEST(DrwGrp, ChannelsBeyond1101LeaveThePictureUnchanged) {
  const Surface reference = Draw(Ones());
  for (const std::int32_t junk : {INT32_MIN, kLimit}) {
    SCOPED_TRACE(junk);
    pha::MeasurementState state = Ones();
    for (int i = 1102; i < pha::kSpectrumChannels; ++i)
      state.SpcSmp[i] = state.SpcSmt[i] = state.SpcRef[i] = junk;
    EXPECT_TRUE(SameCalls(Draw(state), reference));
  }
}

}  // namespace
