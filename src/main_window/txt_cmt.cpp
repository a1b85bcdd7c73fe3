#include "main_window/txt_cmt.h"

#include "plot/spectrum_plot.h"

namespace pha {

TxtCmt::TxtCmt(TxtCmtControls controls)
    : c_(controls),
      decoder_(c_.MSComm1, c_.TxtCmt, state_),
      run_{c_.CmdRun, c_.CmbTmr, c_.LblCnt, c_.LblCpm, c_.LblTim, c_.LblDose, c_.PicGrp, c_.locale},
      meter_controls_{c_.LblRtmCpm, c_.LblRtmDose, c_.PicMtr, c_.locale},
      file_context_{c_.files, c_.clock, c_.monotonic, c_.messages, c_.PicGrp} {}

void TxtCmt::Form_Load() {
  SetUpPort(c_.MSComm1);
  c_.CmbTmr.SetListIndex(0);
  IniMes(state_, c_.PicGrp);
  DrwGrp(state_, c_.PicGrp);
  CheckDataFolder(file_context_);
}

void TxtCmt::MSComm1_OnComm() { decoder_.MSComm1_OnComm(); }

void TxtCmt::TimDraw_Timer() {
  // Nothing the plot shows has changed since the last tick: the picture on
  // show is the one a redraw would make.
  if (state_.spectra_changes == drawn_changes_) return;
  drawn_changes_ = state_.spectra_changes;
  DrwGrp(state_, c_.PicGrp);
}

void TxtCmt::CmdRun_Click() { pha::CmdRun_Click(state_, run_); }

void TxtCmt::Tim1s_Timer() {
  const int seconds = tick_seconds_.Count(c_.monotonic.NowMs());
  pha::Tim1s_Timer(meter_, state_, meter_controls_, run_, seconds);
}

void TxtCmt::CmdSav_Click() { pha::CmdSav_Click(state_, file_context_); }

void TxtCmt::CmdLodSmp_Click() { pha::CmdLodSmp_Click(state_, file_context_); }

void TxtCmt::CmdLodRef_Click() { pha::CmdLodRef_Click(state_, file_context_); }

}  // namespace pha
