// The real window, offscreen: the controls' pixels and texts, the locale's
// separators, a measurement through a stalled event loop, and clicks that
// see the line as it stands.
#include "platform/window/qt_main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "emulator/runner.h"
#include "platform/posix/clocks.h"
#include "platform/posix/posix_file_system.h"
#include "spectrum_files/spectrum_file.h"
#include "support/detector_line.h"
#include "support/fakes.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

using namespace pha::testing;

class MainWindow : public ::testing::Test {
 protected:
  MainWindow() : window_(pty_.slave_path(), files_, clock_) { window_.Form_Load(); }

  PtyDetector pty_;
  NoFiles files_;
  FakeClock clock_;
  QtMainWindow window_;
};

TEST_F(MainWindow, RunLightsTheWholeFaceOfItsButtonAndStopReturnsItsUsualFace) {
  // The face between the bevel and the caption: the rows above and below it.
  const auto face = [this] {
    const QImage image = window_.CmdRun_->grab().toImage();
    std::set<QRgb> colours;
    for (const int y : {2, image.height() - 3})
      for (int x = 2; x < image.width() - 2; ++x) colours.insert(image.pixel(x, y) | 0xFF000000);
    return colours;
  };
  const std::set<QRgb> usual = face();
  EXPECT_EQ(usual, std::set<QRgb>{QApplication::palette().color(QPalette::Button).rgb()});
  window_.CmdRun_->click();
  EXPECT_EQ(face(), std::set<QRgb>{qRgb(255, 128, 128)});
  window_.CmdRun_->click();
  EXPECT_EQ(face(), usual);
}

// Each preset's seconds, as its text names them; "10 sec" chosen at start.
TEST_F(MainWindow, EachPresetCarriesTheSecondsItsTextNames) {
  const std::map<QString, int> seconds_per{{"sec", 1}, {"min", 60}, {"hour", 3600}};
  ASSERT_EQ(window_.CmbTmr_->count(), 8);
  EXPECT_EQ(window_.CmbTmr_->currentText(), "10 sec");
  for (int i = 0; i < window_.CmbTmr_->count(); ++i) {
    const QStringList text = window_.CmbTmr_->itemText(i).split(' ');
    EXPECT_EQ(window_.CmbTmr_->itemData(i).toInt(), text[0].toInt() * seconds_per.at(text[1])) << i;
  }
}

// A held-up event loop (a stalled display server, a save that hangs) does
// not shorten the measurement: its length and figures keep to the wall
// clock.
TEST_F(MainWindow, AStalledEventLoopDoesNotShortenTheMeasurement) {
  window_.CmbTmr_->setItemData(0, 5);  // a 5-second preset, for a short test
  emulator::Options options;           // the line's 960 frames/s
  options.fixed_channel = 1023;
  options.rate_per_s = 5000;
  emulator::Runner detector(pty_.master_fd(), options);
  detector.Start();
  ASSERT_TRUE(WaitFor([&] { return window_.Logic().State().CntSec > 0; }));
  QElapsedTimer run;
  window_.CmdRun_->click();
  run.start();
  QTimer::singleShot(1500, [] { QThread::sleep(3); });
  ASSERT_TRUE(WaitFor([&] { return window_.CmdRun_->text() == "Run"; }, 20000));
  const double length = run.elapsed() / 1000.0;
  const QStringList hms = window_.LblTim_->text().split(':');
  ASSERT_EQ(hms.size(), 3);
  const int shown = hms[0].toInt() * 3600 + hms[1].toInt() * 60 + hms[2].toInt();
  const double count = window_.LblCnt_->text().section(' ', 0, 0).toDouble();
  const double cpm = window_.LblCpm_->text().section(' ', 0, 0).toDouble();
  // Within a second and 5 %: the first second counts whole though it may
  // begin up to a second after the click, a late tick counts its seconds
  // rounded, and the run stops on the tick after its last second.
  EXPECT_NEAR(length, shown + 0.5, 1.0);
  EXPECT_NEAR(count, 960.0 * shown, (0.05 * shown + 1.5) * 960);
  EXPECT_NEAR(cpm, 57600, (0.05 + 1.5 / shown) * 57600);
}

// A click sees the line as it stands at the click: a run counts no pulse
// that came before it, and a save holds every one that came before it.
TEST(Clicks, ARunCountsNoPulseFromBeforeItsClickAndASaveHoldsEveryOneBeforeIts) {
  namespace fs = std::filesystem;
  char scratch[] = "/tmp/pha-clicks-XXXXXX";
  ASSERT_NE(mkdtemp(scratch), nullptr);
  const fs::path before = fs::current_path();
  fs::create_directory(fs::path(scratch) / "data");
  fs::current_path(scratch);
  {
    PtyDetector pty;
    PosixFileSystem files;
    LocalClock clock;
    QtMainWindow window(pty.slave_path(), files, clock);
    window.Form_Load();
    const MeasurementState& state = window.Logic().State();
    // Frames that wait in the system: the event loop does not run meanwhile.
    const auto waiting = [&](int channel, int count) {
      Send(pty, std::vector<int>(static_cast<std::size_t>(count), channel));
      QThread::msleep(50);  // the kernel hands a pty's bytes on from a worker of its own
    };
    waiting(200, 50);
    window.CmdRun_->click();
    HandleEventsFor(300);
    EXPECT_EQ(state.CntTot, 0);
    waiting(300, 40);
    window.CmdSav_->click();
    std::ifstream file(fs::directory_iterator("data")->path(), std::ios::binary);
    const SpectrumFileReading reading =
        ParseSpectrumFile(std::string(std::istreambuf_iterator<char>(file), {}));
    EXPECT_EQ(std::tuple(reading.counts[200], reading.counts[300]), std::tuple(1, 41));
  }
  fs::current_path(before);
  fs::remove_all(scratch);
}

}  // namespace
}  // namespace pha
