// The real window, offscreen: start-up and its failures, the controls' pixels,
// the buttons' wiring, the title handed to the window system, and the end.
#include "platform/qt_main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cmath>
#include <set>

#include "emulator/runner.h"
#include "support/child_process.h"
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

TEST_F(MainWindow, GroupBoxesDrawTheirFrameAroundTheControlsLaidOutInThem) {
  for (QGroupBox* frame : {window_.Frame1_, window_.Frame2_, window_.Frame3_}) {
    SCOPED_TRACE(frame->title().toStdString());
    // The box alone, without its controls.
    const QColor background = frame->palette().color(QPalette::Window);
    QImage image(frame->size(), QImage::Format_RGB32);
    image.fill(background);
    frame->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    std::vector<int> lines;  // rows where a line runs across most of the box
    for (int y = 0; y < image.height(); ++y) {
      int drawn = 0;
      for (int x = 0; x < image.width(); ++x) drawn += image.pixelColor(x, y) != background;
      if (drawn > image.width() / 2) lines.push_back(y);
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_LT(lines.front(), frame->childrenRect().top());
    EXPECT_GT(lines.back(), frame->childrenRect().bottom());
  }
}

TEST(Locale, TheFiguresTakeTheirSeparatorsFromTheLocale) {
  const struct {
    const char* name;
    std::string thousands, time;
  } rows[] = {{"en_US", ",", ":"}, {"de_DE", ".", ":"}, {"fi_FI", "\u00A0", "."}};
  for (const auto& row : rows) {
    const LocaleSeparators separators = SeparatorsOf(QLocale(QString::fromLatin1(row.name)));
    EXPECT_EQ(separators.thousands, row.thousands) << row.name;
    EXPECT_EQ(separators.time, row.time) << row.name;
  }
}

// The program on `device`: answers a message box at start-up and tells what
// it said and whether the window showed meanwhile.
struct StartUp {
  int status = -1;
  std::string message;
  bool window_seen = false;
};

StartUp Start(const std::string& device, const std::function<void(QtMainWindow&)>& once_shown) {
  StartUp result;
  NoFiles files;
  FakeClock clock;
  QTimer watch;
  watch.setInterval(10);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget);
          box && box->isVisible() && !result.window_seen) {
        result.message = box->text().toStdString();
        box->done(QMessageBox::Ok);
      } else if (auto* main = qobject_cast<QtMainWindow*>(widget); main && main->isVisible()) {
        if (!result.window_seen && once_shown) once_shown(*main);
        result.window_seen = true;
      }
    }
  });
  watch.start();
  result.status = RunPha(device, files, clock);
  return result;
}

// What opening `device` as serial port 1 says to an account without root's
// rights, in a child process.
std::string OpenMessageWithoutRoot(const std::string& device) {
  return testing::InChild([&] {
    if (setuid(65534) != 0) return std::string("still root");
    try {
      QtSerialPort port({{1, device}});
      SetUpPort(port);
    } catch (const PlatformError& error) {
      return std::string(error.what());
    }
    return std::string("opened");
  });
}

TEST(StartUp, APortThatCannotBeOpenedEndsTheProgramWithTheRemedyThatFits) {
  PtyDetector held;  // held by another port
  QtSerialPort holder({{1, held.slave_path()}});
  SetUpPort(holder);
  PtyDetector guarded;  // root's own
  const struct {
    std::string device;
    bool as_root;
    std::string named;  // besides the device
    std::vector<std::string> not_named;
  } rows[] = {
      {"/nonexistent/ttyPHA", true, "PHA_SERIAL_PORT1", {"dialout"}},
      {held.slave_path(), true, "", {"PHA_SERIAL_PORT1", "dialout"}},
      {guarded.slave_path(), false, "dialout", {"PHA_SERIAL_PORT1"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.device);
    std::string message;
    if (row.as_root) {
      const StartUp run = Start(row.device, nullptr);
      EXPECT_NE(run.status, 0);
      EXPECT_FALSE(run.window_seen);
      message = run.message;
    } else {
      message = OpenMessageWithoutRoot(row.device);
    }
    EXPECT_NE(message.find(row.device), std::string::npos) << message;
    EXPECT_NE(message.find(row.named), std::string::npos) << message;
    for (const std::string& other : row.not_named)
      EXPECT_EQ(message.find(other), std::string::npos) << message;
  }
}

TEST(StartUp, TheWindowShowsAfterLoadingPulsesReachEveryFigureAndClosingItEndsTheProgram) {
  PtyDetector pty;
  QObject bound;
  QTimer::singleShot(20000, &bound, [] { QCoreApplication::exit(99); });  // closing failed
  // Counts the titles handed to the window system.
  struct TitleChanges : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      count += event->type() == QEvent::WindowTitleChange ? 1 : 0;
      return false;
    }
  } titles;
  const StartUp run = Start(pty.slave_path(), [&](QtMainWindow& window) {
    EXPECT_EQ(window.Logic().State().SpcSmp[100], 1);
    window.CmdRun_->click();
    window.installEventFilter(&titles);
    emulator::Options options;  // the emulator's detector, with 100 pulses in channel 300
    options.fixed_channel = 300;
    options.as_fast_as_possible = true;
    options.frame_count = 100;
    emulator::Runner detector(pty.master_fd(), options);
    detector.Start();
    detector.Wait();
    QTimer::singleShot(0, &window, [&window] {
      // By the window's own timers: the count label, the smoothed trace
      // (101 from channel 296 to 304) and the title log.
      const int column = static_cast<int>(window.PicGrp().PixelX(300.0F));
      const int row = static_cast<int>(window.PicGrp().PixelY(float(10 * std::log(101.0))));
      EXPECT_TRUE(WaitFor([&] {
        return window.LblCnt_->text() == "100 COUNT" &&
               window.PicGrp().Picture().pixelColor(column, row) == QColor(255, 0, 0) &&
               window.windowTitle().startsWith("300 300 ");
      }));
      window.CmdLodRef_->click();  // no files: a message opens and stays
      window.close();
    });
  });
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.window_seen);
  EXPECT_EQ(run.message, "");
  // A hundred title log entries, handed on a few at a time.
  EXPECT_GE(titles.count, 1);
  EXPECT_LE(titles.count, 5);
}

TEST(UnexpectedFailure, StopsEveryTimerAndThePortBeforeItsMessage) {
  struct Broken : NoFiles {
    WorkingDirectory CurrentDirectory() const override { throw std::runtime_error("broken"); }
  } files;
  PtyDetector pty;
  FakeClock clock;
  QtMainWindow window(pty.slave_path(), files, clock);
  window.Form_Load();
  bool seen = false;
  QTimer::singleShot(0, [&] {  // inside the message's own event loop
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen = true;
      EXPECT_FALSE(window.TimDraw_->isActive());
      EXPECT_FALSE(window.Tim1s_->isActive());
      EXPECT_FALSE(window.Port().IsOpen());
      box->done(QMessageBox::Ok);
    }
  });
  window.CmdLodSmp_->click();
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace pha
