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
  // The bar starts at the box's origin and spans its height, wherever the
  // scale puts them.
  PicMtr.SetScaleLeft(-5.0F);
  PicMtr.SetScaleTop(3.0F);
  PicMtr.SetScaleHeight(-21.0F);
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
    EXPECT_FLOAT_EQ(bar.x1, -5.0F);
    EXPECT_FLOAT_EQ(bar.y1, 3.0F);
    EXPECT_FLOAT_EQ(bar.x2, row.bar - 5.0F);
    EXPECT_FLOAT_EQ(bar.y2, -18.0F);
  }
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

}  // namespace
}  // namespace pha::testing
