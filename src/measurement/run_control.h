// Run control and measurement statistics: the Run/Stop toggle `CmdRun`, and
// the measurement step that ends every one-second tick.
//
// The run state lives in two places that change together, in CmdRun_Click
// only: the caption of CmdRun ("Run" when idle, "Stop" when running), which
// decides what a click does, and FlgRun, which the rest of the system reads.
#pragma once

#include <cstdint>
#include <limits>

#include "acquisition/measurement_state.h"
#include "main_window/window_ops.h"

namespace pha {

constexpr Colour kRunningColour = Rgb(255, 128, 128);  // light red
// The dose figure, labelled nGy, is the sum of the channel numbers / 8.
constexpr double kChannelSumPerNGy = 8.0;
// With nothing selected in CmbTmr there is no preset to reach: the run goes
// on until an entry is picked or the button is clicked, and this 32-bit limit
// stops it before TimMes could overflow.
constexpr std::int32_t kPresetWithoutSelectionS = std::numeric_limits<std::int32_t>::max();

// The controls of the "Measurememt" group, owned by the main window.
struct RunControls {
  Button& CmdRun;
  ComboBox& CmbTmr;  // each entry carries its preset in seconds
  Label& LblCnt;
  Label& LblCpm;
  Label& LblTim;
  Label& LblDose;
  DrawingSurface& PicGrp;  // redrawn by IniMes when a run starts
  const LocaleSeparators& locale;
};

// The click on CmdRun. Caption exactly "Run": start (caption "Stop", light
// red, IniMes, FlgRun True). Any other caption: stop (caption "Run",
// button face, FlgRun False). Neither touches the four labels; stopping keeps
// every total and spectrum.
void CmdRun_Click(MeasurementState& state, const RunControls& controls);

// The last step of the one-second tick. While running: once TimMes has
// reached the preset selected now, stops the run through CmdRun_Click and
// does nothing else; otherwise counts the `seconds` the tick stands for (1
// unless it came late) and shows count, average CPM, elapsed time and
// average dose.
void MeasurementStep(MeasurementState& state, const RunControls& controls, int seconds = 1);

}  // namespace pha
