// The real window offscreen, with the emulated detector on a pseudo-terminal
// and the real timers: a timed run from start to its own stop. (The soak at
// the line's full rate with faults is bench/load_bench.cpp --soak.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>

#include "emulator/emulator.h"
#include "platform/qt_main_window.h"
#include "support/fakes.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

using testing::NoFiles;
using testing::WaitFor;

struct Instrument {
  emulator::PtyDetector detector;
  NoFiles files;
  testing::FakeClock clock;
  QtMainWindow window{detector.slave_path(), files, clock};
  Instrument() { window.Form_Load(); }
  const MeasurementState& State() { return window.Logic().State(); }
};

TEST(EndToEnd, ATenSecondRunEndsByItselfWithWhatTheDetectorSentMeanwhile) {
  Instrument instrument;
  instrument.window.CmdRun_->click();
  ASSERT_EQ(instrument.window.CmdRun_->text(), "Stop");

  emulator::Options options;
  options.fixed_channel = 300;
  options.rate_per_s = 200;
  options.frame_count = 400;
  emulator::Runner runner(instrument.detector.master_fd(), options);
  runner.Start();
  ASSERT_TRUE(WaitFor([&] { return instrument.window.CmdRun_->text() == "Run"; }, 20000));
  runner.Wait();
  ASSERT_EQ(runner.Stats().valid_frames, 400U);

  const MeasurementState& state = instrument.State();
  EXPECT_EQ(state.CntTot, 400);
  EXPECT_EQ(state.SumTot, 400 * 300);
  EXPECT_EQ(state.SpcSmp[300], 401);
  EXPECT_EQ(state.SpcSmt[296], 401);
  EXPECT_EQ(state.TimMes, 10);
  EXPECT_EQ(instrument.window.LblTim_->text(), "00:00:10");
  EXPECT_EQ(instrument.window.LblCnt_->text(), "400 COUNT");
  EXPECT_EQ(instrument.window.LblCpm_->text(), "2400 CPM");
  EXPECT_EQ(instrument.window.LblDose_->text(), "1,500 nGy");
  EXPECT_EQ(instrument.window.CmdRun_->palette().color(QPalette::Button),
            QApplication::palette().color(QPalette::Button));
}

}  // namespace
}  // namespace pha
