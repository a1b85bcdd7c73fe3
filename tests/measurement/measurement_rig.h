// The controls of the two measurement groups as fakes, with the state and the
// rate meter, so that a test can click and tick without a window.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/measurement_state.h"
#include "measurement/rate_meter.h"
#include "measurement/run_control.h"
#include "support/fakes.h"

namespace pha::testing {

// Every caption written, as "name=text", in the order written.
using WriteLog = std::vector<std::string>;
using Texts = std::vector<std::string>;

class LoggedLabel : public FakeLabel {
 public:
  LoggedLabel(WriteLog& log, std::string name, std::string caption)
      : FakeLabel(std::move(caption)), log_(log), name_(std::move(name)) {}
  void SetCaption(std::string_view text) override {
    log_.push_back(name_ + "=" + std::string(text));
    FakeLabel::SetCaption(text);
  }

 private:
  WriteLog& log_;
  std::string name_;
};

class LoggedButton : public FakeButton {
 public:
  explicit LoggedButton(WriteLog& log) : log_(log) {}
  void SetCaption(std::string_view text) override {
    log_.push_back("CmdRun=" + std::string(text));
    FakeButton::SetCaption(text);
  }
  void SetBackColor(Colour colour) override {
    log_.emplace_back(colour == kRunningColour ? "CmdRun light red" : "CmdRun button face");
    FakeButton::SetBackColor(colour);
  }

 private:
  WriteLog& log_;
};

// Tells when it is cleared: the plot's redraw by IniMes begins with Cls.
class ObservedSurface : public RecordingSurface {
 public:
  void Cls() override {
    if (on_cls) on_cls();
    RecordingSurface::Cls();
  }
  std::function<void()> on_cls;
};

class MeasurementRig : public ::testing::Test {
 protected:
  enum Preset { k10Sec, k1Min, k1Hour, k2Hour, k3Hour, k6Hour, k12Hour, k24Hour };

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
  void Tick() { Tim1s_Timer(meter, state, meter_controls, run); }
  // The four measurement labels, in display order.
  Texts Shown() const { return {LblCnt.caption, LblCpm.caption, LblTim.caption, LblDose.caption}; }

  WriteLog log;
  MeasurementState state;
  LoggedButton CmdRun{log};
  FakeComboBox CmbTmr{{{"10 sec", 10},
                       {"1 min", 60},
                       {"1 hour", 3600},
                       {"2 hour", 7200},
                       {"3 hour", 10800},
                       {"6 hour", 21600},
                       {"12 hour", 43200},
                       {"24 hour", 86400}}};
  LoggedLabel LblCnt{log, "LblCnt", "0 COUNT"};
  LoggedLabel LblCpm{log, "LblCpm", "0 CPM"};
  LoggedLabel LblTim{log, "LblTim", "00:00:00"};
  LoggedLabel LblDose{log, "LblDose", "nGy"};
  LoggedLabel LblRtmCpm{log, "LblRtmCpm", "0 CPM"};
  LoggedLabel LblRtmDose{log, "LblRtmDose", "0 nGy"};
  ObservedSurface PicGrp;
  RecordingSurface PicMtr{81, 21};
  LocaleSeparators locale;
  RunControls run{CmdRun, CmbTmr, LblCnt, LblCpm, LblTim, LblDose, PicGrp, locale};
  MeterControls meter_controls{LblRtmCpm, LblRtmDose, PicMtr, locale};
  RateMeter meter;

  void SetUp() override {
    CmbTmr.SetListIndex(k10Sec);
    IniMes(state, PicGrp);  // as at start-up
    PicGrp.on_cls = [this] {
      log.push_back(state.FlgRun == Flag::True ? "IniMes running" : "IniMes idle");
    };
  }
};

}  // namespace pha::testing
