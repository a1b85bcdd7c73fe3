// The controls of the two measurement groups as fakes, with the state and the
// rate meter, so that a test can click and tick without a window.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/measurement_state.h"
#include "measurement/rate_meter.h"
#include "measurement/run_control.h"
#include "measurement/tick_seconds.h"
#include "support/fakes.h"

namespace pha::testing {

using Texts = std::vector<std::string>;

class MeasurementRig : public ::testing::Test {
 protected:
  enum Preset { k10Sec, k1Min, k24Hour };  // the items of FakeComboBox

  // As the pulse decoder counts `count` pulses in `channel`.
  void Pulses(int count, int channel) {
    state.CntSec += count;
    state.SumSec += count * channel;
    if (state.FlgRun == Flag::False) return;
    state.CntTot += count;
    state.SumTot += std::int64_t{count} * channel;
    state.SpcSmp[static_cast<std::size_t>(channel)] += count;
  }
  void Click() { CmdRun_Click(state, run); }
  // A tick of the one-second timer `after_ms` after the last one, as the
  // window counts it.
  void Tick(std::int64_t after_ms = 1000) {
    monotonic.now_ms += after_ms;
    Tim1s_Timer(meter, state, meter_controls, run, seconds.Count(monotonic.now_ms));
  }
  // The four measurement labels, in display order.
  Texts Shown() const { return {LblCnt.caption, LblCpm.caption, LblTim.caption, LblDose.caption}; }

  void SetUp() override {
    CmbTmr.SetListIndex(k10Sec);
    IniMes(state, PicGrp);  // as at start-up
  }

  MeasurementState state;
  FakeButton CmdRun;
  FakeComboBox CmbTmr;
  FakeLabel LblCnt, LblCpm, LblTim, LblDose, LblRtmCpm, LblRtmDose;
  CountingSurface PicGrp;
  CountingSurface PicMtr{81, 21};
  LocaleSeparators locale;
  RunControls run{CmdRun, CmbTmr, LblCnt, LblCpm, LblTim, LblDose, PicGrp, locale};
  MeterControls meter_controls{LblRtmCpm, LblRtmDose, PicMtr, locale};
  RateMeter meter;
  TickSeconds seconds;
  FakeMonotonicClock monotonic;
};

}  // namespace pha::testing
