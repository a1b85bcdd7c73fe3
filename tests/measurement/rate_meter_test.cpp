// The real-time figures as the labels show them. The bar's pixels are in
// tests/platform/qt_drawing_surface_test.cpp.
#include "measurement/rate_meter.h"

#include <gtest/gtest.h>

#include "measurement_rig.h"

namespace pha::testing {
namespace {

using RateMeterTest = MeasurementRig;

TEST_F(RateMeterTest, SteadyRateClimbsByATenthOfTheRemainingWayEachSecond) {
  const struct {
    int pulses;
    int channel;
    const char* thousands;
    const char* cpm;
    const char* dose;
  } rows[] = {
      {10, 80, ",", "60 CPM", "10 nGy"},
      {10, 80, ",", "114 CPM", "19 nGy"},
      {10, 80, ",", "163 CPM", "27 nGy"},
      {1000, 80, ".", "6146 CPM", "1.024 nGy"},
      {0, 80, ",", "5532 CPM", "922 nGy"},  // a quiet second: nine tenths
  };
  for (const auto& row : rows) {
    locale.thousands = row.thousands;
    Pulses(row.pulses, row.channel);
    Tick();
    EXPECT_EQ(LblRtmCpm.caption, row.cpm);
    EXPECT_EQ(LblRtmDose.caption, row.dose);
    EXPECT_EQ(state.CntSec + state.SumSec, 0);  // cleared for the next second
  }
}

}  // namespace
}  // namespace pha::testing
