#include "measurement/rate_meter.h"

#include <gtest/gtest.h>

#include <string>

#include "measurement_rig.h"

namespace pha::testing {
namespace {

using Op = RecordingSurface::Op;

class RateMeterTest : public MeasurementRig {
 protected:
  // Each tick clears the meter, then draws the one bar; returns its corners.
  RecordingSurface::Call TickAndGetBar() {
    PicMtr.calls.clear();
    Tick();
    EXPECT_EQ(PicMtr.calls.size(), 2U);
    EXPECT_EQ(PicMtr.calls.front().op, Op::Cls);
    EXPECT_EQ(PicMtr.calls.back().op, Op::Box);
    return PicMtr.calls.back();
  }
};

TEST_F(RateMeterTest, SteadyRateClimbsByATenthOfTheRemainingWayEachSecond) {
  const struct {
    const char* cpm;
    const char* dose;
    float bar;
  } rows[] = {
      {"60 CPM", "10 nGy", 1.0F},
      {"114 CPM", "19 nGy", 1.9F},
      {"163 CPM", "27 nGy", 2.71F},
  };
  for (const auto& row : rows) {
    Pulses(10, 80);
    const auto bar = TickAndGetBar();
    EXPECT_EQ(LblRtmCpm.caption, row.cpm);
    EXPECT_EQ(LblRtmDose.caption, row.dose);
    EXPECT_FLOAT_EQ(bar.x1, 0.0F);
    EXPECT_FLOAT_EQ(bar.y1, 0.0F);
    EXPECT_FLOAT_EQ(bar.x2, row.bar);
    EXPECT_FLOAT_EQ(bar.y2, 21.0F);
  }
}

TEST_F(RateMeterTest, BarStartsAtTheBoxOriginAndSpansItsHeight) {
  PicMtr.SetScaleLeft(-5.0F);
  PicMtr.SetScaleTop(3.0F);
  PicMtr.SetScaleHeight(-21.0F);
  Pulses(10, 80);
  const auto bar = TickAndGetBar();
  EXPECT_FLOAT_EQ(bar.x1, -5.0F);
  EXPECT_FLOAT_EQ(bar.y1, 3.0F);
  EXPECT_FLOAT_EQ(bar.x2, -4.0F);
  EXPECT_FLOAT_EQ(bar.y2, -18.0F);
}

TEST_F(RateMeterTest, WithoutPulsesShowsZeroAndABarOfNoLength) {
  const auto bar = TickAndGetBar();
  EXPECT_EQ(LblRtmCpm.caption, "0 CPM");
  EXPECT_EQ(LblRtmDose.caption, "0 nGy");
  EXPECT_FLOAT_EQ(bar.x2, bar.x1);
}

TEST_F(RateMeterTest, FiguresShrinkByATenthEachSilentSecond) {
  for (int i = 0; i < 300; ++i) {
    Pulses(10, 80);
    Tick();
  }
  EXPECT_EQ(LblRtmCpm.caption, "600 CPM");
  Tick();
  EXPECT_EQ(LblRtmCpm.caption, "540 CPM");

  // One pulse: 6.0, then 6 x 0.9^n: 0.53 after 23 silent seconds, 0.48 after 24.
  RateMeter fresh;
  Pulses(1, 80);
  fresh.Update(state, meter_controls);
  for (int second = 1; second <= 24; ++second) {
    fresh.Update(state, meter_controls);
    if (second == 23) {
      EXPECT_EQ(LblRtmCpm.caption, "1 CPM");
    }
  }
  EXPECT_LT(fresh.AvgCpm(), 0.5);
  EXPECT_EQ(LblRtmCpm.caption, "0 CPM");
}

TEST_F(RateMeterTest, LargeFiguresAreGroupedAndTheBarRunsPastTheBox) {
  state.SumSec = 987648;  // a tenth of 987648 / 8 = 12345.6
  const auto bar = TickAndGetBar();
  EXPECT_DOUBLE_EQ(meter.AvgDose(), 12345.6);
  EXPECT_EQ(LblRtmDose.caption, "12,346 nGy");
  EXPECT_FLOAT_EQ(bar.x2, 1234.56F);  // the box clips it
}

TEST_F(RateMeterTest, CountTimesSixtyDoesNotOverflow) {
  state.CntSec = 35791395;  // x 60 is just beyond 2^31
  Tick();
  EXPECT_EQ(LblRtmCpm.caption, "214748370 CPM");
}

TEST_F(RateMeterTest, ClearsTheSecondsCountersOnEveryTickRunningOrNot) {
  for (const bool running : {false, true}) {
    if (running) Click();
    for (int i = 0; i < 3; ++i) {
      Pulses(7, 123);
      Tick();
      EXPECT_EQ(state.CntSec, 0);
      EXPECT_EQ(state.SumSec, 0);
    }
  }
  EXPECT_EQ(state.CntTot, 21);
}

TEST_F(RateMeterTest, RunAndStopLeaveTheSmoothedFiguresAlone) {
  Pulses(10, 80);
  Tick();
  const double cpm = meter.AvgCpm();
  const double dose = meter.AvgDose();
  Click();
  EXPECT_EQ(meter.AvgCpm(), cpm);
  EXPECT_EQ(meter.AvgDose(), dose);
  Click();
  Click();
  EXPECT_EQ(meter.AvgCpm(), cpm);
  EXPECT_EQ(meter.AvgDose(), dose);
  Tick();
  EXPECT_DOUBLE_EQ(meter.AvgCpm(), cpm * 0.9);
  EXPECT_DOUBLE_EQ(meter.AvgDose(), dose * 0.9);
}

TEST_F(RateMeterTest, TickShowsTheMeterBeforeTheMeasurement) {
  Click();
  Pulses(10, 80);
  log.clear();
  Tick();
  EXPECT_EQ(log, (WriteLog{"LblRtmCpm=60 CPM", "LblRtmDose=10 nGy", "LblCnt=10 COUNT",
                           "LblCpm=600 CPM", "LblTim=00:00:01", "LblDose=100 nGy"}));
}

}  // namespace
}  // namespace pha::testing
