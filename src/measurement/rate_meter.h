// The real-time rate meter: once a second, running or not, the pulses of the
// last second become a smoothed count rate (CPM) and dose figure (nGy),
// shown in two labels and as a bar.
#pragma once

#include "acquisition/measurement_state.h"
#include "main_window/window_ops.h"
#include "measurement/run_control.h"

namespace pha {

// The controls of the "Real time data" group, owned by the main window.
struct MeterControls {
  Label& LblRtmCpm;
  Label& LblRtmDose;
  DrawingSurface& PicMtr;  // the bar: AvgDose / 10 units from its left edge
  const LocaleSeparators& locale;
};

// Holds the two smoothed figures, exponential moving averages over whole
// seconds with weight 0.1 for the newest second. They start at 0.0 and are
// never reset: a measurement's start or stop leaves them alone.
class RateMeter {
 public:
  // Folds CntSec and SumSec into the figures, shows them and the bar, then
  // clears both counters. A tick that stands for several `seconds` takes
  // that many smoothing steps, its pulses spread evenly over them.
  void Update(MeasurementState& state, const MeterControls& controls, int seconds = 1);

 private:
  double AvgDose_ = 0.0;
  double AvgCpm_ = 0.0;
};

// The whole one-second tick of Tim1s, standing for `seconds` (1 unless the
// tick came late, see TickSeconds): the meter, then the measurement step.
// A tick that stands for 0 seconds does nothing.
void Tim1s_Timer(RateMeter& meter, MeasurementState& state, const MeterControls& meter_controls,
                 const RunControls& run_controls, int seconds = 1);

}  // namespace pha
