#include "measurement/rate_meter.h"

#include <cstdint>

#include "measurement/display_formats.h"

namespace pha {

namespace {

constexpr double kNewestWeight = 0.1;
constexpr double kPreviousWeight = 0.9;
constexpr std::int64_t kCountsToCpm = 60;
constexpr double kDosePerBarUnit = 10.0;

}  // namespace

void RateMeter::Update(MeasurementState& state, const MeterControls& controls, int seconds) {
  // The pulses of a late tick are spread evenly over the seconds it stands
  // for, and each of those seconds is one smoothing step. For one second
  // this is the plain step: x / 1 is x exactly.
  const double dose = state.SumSec / kChannelSumPerNGy / seconds;
  // In 64 bits: any 32-bit count times 60 fits, so no second can overflow.
  const double cpm = static_cast<double>(state.CntSec * kCountsToCpm) / seconds;
  for (int step = 0; step < seconds; ++step) {
    AvgDose_ = dose * kNewestWeight + AvgDose_ * kPreviousWeight;
    AvgCpm_ = cpm * kNewestWeight + AvgCpm_ * kPreviousWeight;
  }

  controls.LblRtmCpm.SetCaption(FormatRounded(AvgCpm_) + " CPM");
  controls.LblRtmDose.SetCaption(FormatGrouped(AvgDose_, controls.locale.thousands) + " nGy");

  // The bar spans the full height; a bar longer than the box is clipped at its
  // edge. The coordinates are read afresh, after the clear, on every tick.
  DrawingSurface& PicMtr = controls.PicMtr;
  PicMtr.Cls();
  const float left = PicMtr.ScaleLeft();
  const float top = PicMtr.ScaleTop();
  const float height = PicMtr.ScaleHeight();
  PicMtr.LineBox(left, top, static_cast<float>(AvgDose_ / kDosePerBarUnit + left), top + height);

  state.CntSec = 0;
  state.SumSec = 0;
}

void Tim1s_Timer(RateMeter& meter, MeasurementState& state, const MeterControls& meter_controls,
                 const RunControls& run_controls, int seconds) {
  // A tick that stands for no second (it came on the timer's schedule right
  // after a late one that counted the second it fell into) changes nothing:
  // its pulses stay in CntSec and SumSec and go to the next second.
  if (seconds < 1) return;
  meter.Update(state, meter_controls, seconds);
  MeasurementStep(state, run_controls, seconds);
}

}  // namespace pha
