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

// Every field away from its reset value; channels hold `junk`, varied.
pha::MeasurementState Dirty(Flag run, std::int32_t cnt_sec, std::int32_t sum_sec,
                            std::int32_t junk) {
  pha::MeasurementState state;
  for (int i = 0; i < pha::kSpectrumChannels; ++i) {
    state.SpcSmp[i] = junk;
    state.SpcSmt[i] = i % 3 == 0 ? 0 : junk;
    state.SpcRef[i] = i % 2 == 0 ? -7 : junk;
  }
  state.FlgRun = run;
  state.TimMes = 86'399;
  state.CntTot = 5'000'000'000;
  state.SumTot = 85'000'000'000;
  state.CntSec = cnt_sec;
  state.SumSec = sum_sec;
  return state;
}

std::ptrdiff_t ChannelsNotOne(const pha::Spectrum& spectrum) {
  return std::count_if(spectrum.begin(), spectrum.end(), [](std::int32_t c) { return c != 1; });
}

TEST(IniMes, ResetsTheMeasurementAndKeepsRunFlagAndPerSecondCounts) {
  struct Case {
    Flag run;
    std::int32_t cnt_sec, sum_sec, junk;
  };
  const Case cases[] = {{Flag::True, 17, 4321, 0},
                        {Flag::False, kLimit, kLimit, -1},
                        {Flag::True, 0, 0, INT32_MIN},
                        {Flag::False, 3, 30, kLimit}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.junk);
    pha::MeasurementState state = Dirty(c.run, c.cnt_sec, c.sum_sec, c.junk);
    Surface surface;
    pha::IniMes(state, surface);
    EXPECT_EQ(ChannelsNotOne(state.SpcSmp), 0);
    EXPECT_EQ(ChannelsNotOne(state.SpcSmt), 0);
    EXPECT_EQ(ChannelsNotOne(state.SpcRef), 0);
    EXPECT_EQ(state.TimMes, 0);
    EXPECT_EQ(state.CntTot, 0);
    EXPECT_EQ(state.SumTot, 0);
    EXPECT_EQ(state.FlgRun, c.run);
    EXPECT_EQ(state.CntSec, c.cnt_sec);
    EXPECT_EQ(state.SumSec, c.sum_sec);
  }
}

TEST(IniMes, DrawsTheClearedSpectraOnce) {
  pha::MeasurementState state = Dirty(Flag::True, 1, 2, 0);
  Surface surface;
  pha::IniMes(state, surface);
  ASSERT_EQ(surface.calls.size(), kGridCalls + 3U * 1101U);
  EXPECT_EQ(std::count_if(surface.calls.begin(), surface.calls.end(),
                          [](const Surface::Call& c) { return c.op == Surface::Op::Cls; }),
            1);
  EXPECT_EQ(surface.calls.front().op, Surface::Op::Cls);
  // Drawn after the reset: every trace lies flat on the count-1 line.
  for (std::size_t i = kGridCalls; i < surface.calls.size(); ++i) {
    ASSERT_EQ(surface.calls[i].y1, 0.0F) << "call " << i;
    ASSERT_EQ(surface.calls[i].y2, 0.0F) << "call " << i;
  }
}

}  // namespace
