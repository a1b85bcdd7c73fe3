// The main window TxtCmt: the event handlers and the state they share.
//
// Every event reaches the program through exactly one handler here, one at a
// time, each running to completion on the user-interface thread. The window
// owns the one MeasurementState for the program's whole life.
#pragma once

#include "acquisition/measurement_state.h"
#include "acquisition/pulse_decoder.h"
#include "main_window/files_and_clock.h"
#include "main_window/serial_port.h"
#include "main_window/window_ops.h"
#include "measurement/rate_meter.h"
#include "measurement/run_control.h"
#include "measurement/tick_seconds.h"
#include "spectrum_files/file_commands.h"

namespace pha {

// The controls and platform services the handlers reach.
struct TxtCmtControls {
  Window& TxtCmt;
  Label& LblRtmCpm;
  Label& LblRtmDose;
  DrawingSurface& PicMtr;
  ComboBox& CmbTmr;
  Button& CmdRun;
  Label& LblTim;
  Label& LblCnt;
  Label& LblCpm;
  Label& LblDose;
  DrawingSurface& PicGrp;
  SerialPort& MSComm1;
  Messages& messages;
  FileSystem& files;
  Clock& clock;
  MonotonicClock& monotonic;
  LocaleSeparators locale;
};

class TxtCmt {
 public:
  explicit TxtCmt(TxtCmtControls controls);
  TxtCmt(const TxtCmt&) = delete;
  TxtCmt& operator=(const TxtCmt&) = delete;

  // Start-up, before the window is shown: opens serial port 1 (throws
  // PlatformError when it cannot), selects "10 sec", resets and draws; then
  // tells the operator if Save cannot work in the working directory.
  void Form_Load();
  void MSComm1_OnComm();
  void CmdRun_Click();
  void Tim1s_Timer();
  void TimDraw_Timer();
  void CmdSav_Click();
  void CmdLodSmp_Click();
  void CmdLodRef_Click();

  const MeasurementState& State() const { return state_; }
  MeasurementState& State() { return state_; }

 private:
  TxtCmtControls c_;
  MeasurementState state_;
  PulseDecoder decoder_;  // holds FlgSkp
  RateMeter meter_;       // holds AvgCpm and AvgDose
  TickSeconds tick_seconds_;
  RunControls run_;
  MeterControls meter_controls_;
  FileCommandContext file_context_;
  // MeasurementState::spectra_changes as the last tick drew them.
  std::uint64_t drawn_changes_ = 0;
};

}  // namespace pha
