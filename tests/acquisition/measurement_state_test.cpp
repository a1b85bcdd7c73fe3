// IniMes: what a reset clears, what it keeps, and the one redraw it makes.
#include "acquisition/measurement_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "support/fakes.h"

namespace {

using pha::Flag;
using Surface = pha::testing::RecordingSurface;
constexpr std::int32_t kLimit = 2'147'483'647;
constexpr int kGridCalls = 1 + 19;  // the clear and the grid, before the traces

std::ptrdiff_t ChannelsNotOne(const pha::Spectrum& spectrum) {
  return std::count_if(spectrum.begin(), spectrum.end(), [](std::int32_t c) { return c != 1; });
}

TEST(IniMes, ResetsTheMeasurementKeepsRunFlagAndPerSecondCountsAndDrawsOnce) {
  // Every field away from its reset value, channels varied.
  pha::MeasurementState state;
  for (int i = 0; i < pha::kSpectrumChannels; ++i) {
    state.SpcSmp[i] = INT32_MIN;
    state.SpcSmt[i] = i % 3 == 0 ? 0 : kLimit;
    state.SpcRef[i] = i % 2 == 0 ? -7 : 5;
  }
  state.FlgRun = Flag::True;
  state.TimMes = 86'399;
  state.CntTot = 5'000'000'000;
  state.SumTot = 85'000'000'000;
  state.CntSec = 17;
  state.SumSec = 4321;
  Surface surface;
  pha::IniMes(state, surface);
  EXPECT_EQ(ChannelsNotOne(state.SpcSmp), 0);
  EXPECT_EQ(ChannelsNotOne(state.SpcSmt), 0);
  EXPECT_EQ(ChannelsNotOne(state.SpcRef), 0);
  EXPECT_EQ(state.TimMes, 0);
  EXPECT_EQ(state.CntTot, 0);
  EXPECT_EQ(state.SumTot, 0);
  EXPECT_EQ(state.FlgRun, Flag::True);
  EXPECT_EQ(state.CntSec, 17);
  EXPECT_EQ(state.SumSec, 4321);

  ASSERT_EQ(surface.calls.size(), kGridCalls + 3U * 1101U);
  EXPECT_EQ(std::count_if(surface.calls.begin(), surface.calls.end(),
                          [](const Surface::Call& call) { return call.op == Surface::Op::Cls; }),
            1);
  EXPECT_EQ(surface.calls.front().op, Surface::Op::Cls);
  // Drawn after the reset: every trace lies flat on the count-1 line.
  for (std::size_t i = kGridCalls; i < surface.calls.size(); ++i) {
    ASSERT_EQ(surface.calls[i].y1, 0.0F) << "call " << i;
    ASSERT_EQ(surface.calls[i].y2, 0.0F) << "call " << i;
  }
}

}  // namespace
