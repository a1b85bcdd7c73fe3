#include "measurement/run_control.h"

#include <algorithm>
#include <string_view>

#include "measurement/display_formats.h"

namespace pha {

namespace {

constexpr std::string_view kIdleCaption = "Run";
constexpr std::string_view kRunningCaption = "Stop";
constexpr double kSecondsPerMinute = 60.0;

// Read afresh on every tick, so that a new selection applies to a running
// measurement from the next tick on.
std::int32_t SelectedPresetS(const ComboBox& CmbTmr) {
  const int index = CmbTmr.ListIndex();
  return index < 0 ? kPresetWithoutSelectionS : CmbTmr.ItemData(index);
}

}  // namespace

void CmdRun_Click(MeasurementState& state, const RunControls& controls) {
  if (controls.CmdRun.Caption() == kIdleCaption) {
    controls.CmdRun.SetCaption(kRunningCaption);
    controls.CmdRun.SetBackColor(kRunningColour);
    // The reset comes before FlgRun turns True, so no pulse of the old run
    // survives into the new one.
    IniMes(state, controls.PicGrp);
    state.FlgRun = Flag::True;
  } else {
    controls.CmdRun.SetCaption(kIdleCaption);
    controls.CmdRun.SetBackColor(kButtonFaceColour);
    state.FlgRun = Flag::False;
  }
}

void MeasurementStep(MeasurementState& state, const RunControls& controls, int seconds) {
  if (state.FlgRun == Flag::False) return;
  // Tested before counting the second: preset N shows TimMes 1..N and stops
  // on tick N + 1, leaving the labels of second N.
  if (state.TimMes >= SelectedPresetS(controls.CmbTmr)) {
    CmdRun_Click(state, controls);
    return;
  }
  // A late tick counts every second it stands for. When the preset fell
  // within them, the pulses read meanwhile cannot be told apart by time: they
  // all stay in the measurement, and so do all its seconds, past the preset,
  // so that count, time and rates describe the same stretch of time. The run
  // stops on the next tick, as it always does.
  state.TimMes = static_cast<std::int32_t>(
      std::min<std::int64_t>(std::int64_t{state.TimMes} + std::max(seconds, 1), kCountLimit));
  const double measured = state.TimMes;
  const double cpm = static_cast<double>(state.CntTot) / measured * kSecondsPerMinute;
  const double dose = static_cast<double>(state.SumTot) / measured / kChannelSumPerNGy;
  controls.LblCnt.SetCaption(FormatCount(state.CntTot) + " COUNT");
  controls.LblCpm.SetCaption(FormatRounded(cpm) + " CPM");
  controls.LblTim.SetCaption(FormatTimeOfDay(state.TimMes, controls.locale.time));
  controls.LblDose.SetCaption(FormatGrouped(dose, controls.locale.thousands) + " nGy");
}

}  // namespace pha
