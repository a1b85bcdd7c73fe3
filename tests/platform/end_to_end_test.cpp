// The real window offscreen, with the emulated detector on a pseudo-terminal
// and the real timers: pulses reach the counts, the labels and the picture by
// themselves. (The soak at the line's full rate with faults is
// bench/load_bench.cpp --soak.)
#include <gtest/gtest.h>

#include <QApplication>
#include <cmath>

#include "emulator/emulator.h"
#include "platform/qt_main_window.h"
#include "support/fakes.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

TEST(EndToEnd, PulsesReachTheTotalsTheLabelsAndThePictureByThemselves) {
  emulator::PtyDetector detector;
  testing::NoFiles files;
  testing::FakeClock clock;
  QtMainWindow window{detector.slave_path(), files, clock};
  window.Form_Load();
  window.CmdRun_->click();

  emulator::Options options;
  options.fixed_channel = 300;
  options.as_fast_as_possible = true;
  options.frame_count = 100;
  emulator::Runner runner(detector.master_fd(), options);
  runner.Start();
  const QColor red(255, 0, 0);  // the smoothed trace, 101 from channel 296 to 304
  const int column = static_cast<int>(window.PicGrp().PixelX(300.0F));
  const int row = static_cast<int>(window.PicGrp().PixelY(float(10 * std::log(101.0))));
  EXPECT_TRUE(testing::WaitFor([&] {
    return window.LblCnt_->text() == "100 COUNT" &&
           window.PicGrp().Picture().pixelColor(column, row) == red;
  }));
  EXPECT_EQ(window.Logic().State().SumTot, 100 * 300);
  EXPECT_TRUE(window.windowTitle().startsWith("300 300 "));
}

}  // namespace
}  // namespace pha
