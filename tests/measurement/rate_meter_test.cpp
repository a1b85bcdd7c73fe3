#include "measurement/rate_meter.h"

#include <gtest/gtest.h>

#include "measurement_rig.h"

namespace pha::testing {
namespace {

using Op = RecordingSurface::Op;
using RateMeterTest = MeasurementRig;

TEST_F(RateMeterTest, SteadyRateClimbsByATenthOfTheRemainingWayEachSecond) {
  // The bar starts at the box's origin and spans its height, wherever the
  // scale puts them.
  PicMtr.SetScaleLeft(-5.0F);
  PicMtr.SetScaleTop(3.0F);
  PicMtr.SetScaleHeight(-21.0F);
  const struct {
    int pulses;
    const char* thousands;
    const char* cpm;
    const char* dose;
    float bar;
  } rows[] = {
      {10, ",", "60 CPM", "10 nGy", 1.0F},
      {10, ",", "114 CPM", "19 nGy", 1.9F},
      {10, ",", "163 CPM", "27 nGy", 2.71F},
      {1000, ".", "6146 CPM", "1.024 nGy", 102.439F},
  };
  for (const auto& row : rows) {
    locale.thousands = row.thousands;
    Pulses(row.pulses, 80);
    PicMtr.calls.clear();
    Tick();
    EXPECT_EQ(LblRtmCpm.caption, row.cpm);
    EXPECT_EQ(LblRtmDose.caption, row.dose);
    ASSERT_EQ(PicMtr.calls.size(), 2U);
    EXPECT_EQ(PicMtr.calls[0].op, Op::Cls);
    const RecordingSurface::Call& bar = PicMtr.calls[1];
    EXPECT_EQ(bar.op, Op::Box);
    EXPECT_TRUE(bar.x1 == -5.0F && bar.y1 == 3.0F && bar.y2 == -18.0F);
    EXPECT_FLOAT_EQ(bar.x2, row.bar - 5.0F);
    EXPECT_EQ(state.CntSec + state.SumSec, 0);  // cleared for the next second
  }
}

}  // namespace
}  // namespace pha::testing
