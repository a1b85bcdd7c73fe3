// The real window, offscreen: start-up and its failures, the controls' pixels,
// the buttons' wiring, the title handed to the window system, and the end.
#include "platform/qt_main_window.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/files/posix_file_system.h"
#include "support/fakes.h"
#include "support/pty_pair.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

using testing::FakeClock;
using testing::Frames;
using testing::NoFiles;
using testing::PtyPair;
using testing::WaitFor;

class MainWindow : public ::testing::Test {
 protected:
  MainWindow() : window_(pty_.SlavePath(), files_, clock_) { window_.Form_Load(); }

  PtyPair pty_;
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

TEST(WindowTitle, ReadsBackAtOnceAndReachesTheWindowAtMostEveryFiftyMs) {
  // Counts the title changes the window system is handed.
  struct TitleChanges : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::WindowTitleChange) ++count;
      return false;
    }
  } changes;
  QWidget widget;
  widget.setWindowTitle("FrmQor");
  widget.installEventFilter(&changes);
  QtWindowTitle title(&widget);
  EXPECT_EQ(title.Caption(), "FrmQor");

  QElapsedTimer clock;
  clock.start();
  int written = 0;
  while (clock.elapsed() < 300) {
    title.SetCaption(std::to_string(++written) + " \u2605 ");
    ASSERT_EQ(title.Caption(), std::to_string(written) + " \u2605 ");
    QCoreApplication::processEvents();
  }
  ASSERT_TRUE(WaitFor([&] { return widget.windowTitle().toStdString() == title.Caption(); }, 1000));
  EXPECT_GT(written, 50);
  EXPECT_LE(changes.count, 300 / QtWindowTitle::kPushIntervalMs + 2);
  EXPECT_GE(changes.count, 2);
}

TEST(MainWindowFiles, LodRefShowsTheReferenceAtOnceAndRunFlattensItAgain) {
  namespace fs = std::filesystem;
  const fs::path previous = fs::current_path();
  const fs::path folder = fs::temp_directory_path() / ("pha-window-" + std::to_string(getpid()));
  fs::create_directories(folder / "data");
  {
    std::ofstream ref(folder / "data" / "ref.csv", std::ios::binary);
    for (int channel = 0; channel < 1024; ++channel) ref << (channel < 500 ? 1 : 1000) << "\r\n";
  }
  fs::current_path(folder);
  PtyPair pty;
  PosixFileSystem files;
  FakeClock clock;
  QtMainWindow window(pty.SlavePath(), files, clock);
  window.Form_Load();

  const QColor blue(0, 0, 255);
  const int column = static_cast<int>(window.PicGrp().PixelX(800.0F));
  const int row_of_1000 = static_cast<int>(window.PicGrp().PixelY(float(10 * std::log(1000.0))));
  const int row_of_1 = static_cast<int>(window.PicGrp().PixelY(0.0F));
  window.CmdLodRef_->click();
  // Shown at once, before the next redraw tick.
  QImage plot = window.PicGrp().Picture();
  EXPECT_EQ(plot.pixelColor(column, row_of_1000), blue);
  EXPECT_NE(plot.pixelColor(column, row_of_1), blue);

  window.CmdRun_->click();
  plot = window.PicGrp().Picture();
  EXPECT_EQ(plot.pixelColor(column, row_of_1), blue);
  EXPECT_NE(plot.pixelColor(column, row_of_1000), blue);

  fs::current_path(previous);
  fs::remove_all(folder);
}

// The program on `device`: answers the first message box and tells what it
// said and whether the window showed meanwhile.
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
      if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
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
  int ends[2];
  if (pipe(ends) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    std::string message = "opened";
    if (setuid(65534) != 0) message = "still root";
    try {
      QtSerialPort port({{1, device}});
      SetUpPort(port);
    } catch (const PlatformError& error) {
      message = error.what();
    }
    _exit(write(ends[1], message.data(), message.size()) < 0);
  }
  close(ends[1]);
  std::string message;
  char buffer[4096];
  for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;)
    message.append(buffer, static_cast<std::size_t>(got));
  close(ends[0]);
  waitpid(child, nullptr, 0);
  return message;
}

TEST(StartUp, APortThatCannotBeOpenedEndsTheProgramWithTheRemedyThatFits) {
  PtyPair held;  // held by another port
  QtSerialPort holder({{1, held.SlavePath()}});
  SetUpPort(holder);
  PtyPair guarded;  // root's own
  const struct {
    std::string device;
    bool as_root;
    std::string named;  // besides the device
    std::vector<std::string> not_named;
  } rows[] = {
      {"/nonexistent/ttyPHA", true, "PHA_SERIAL_PORT1", {"dialout"}},
      {"/tmp", true, "PHA_SERIAL_PORT1", {"dialout"}},
      {held.SlavePath(), true, "", {"PHA_SERIAL_PORT1", "dialout"}},
      {guarded.SlavePath(), false, "dialout", {"PHA_SERIAL_PORT1"}},
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

TEST(StartUp, TheWindowShowsAfterLoadingAndClosingItEndsTheProgram) {
  PtyPair pty;
  const StartUp run = Start(pty.SlavePath(), [&](QtMainWindow& window) {
    EXPECT_EQ(window.Logic().State().SpcSmp[100], 1);
    pty.Write(Frames({700}));
    QTimer::singleShot(0, &window, [&window] {
      WaitFor([&] { return window.windowTitle().startsWith("700 "); }, 5000);
      window.close();
    });
  });
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.window_seen);
  EXPECT_EQ(run.message, "");
}

TEST(Closing, ClosingTheWindowEndsTheProgramEvenWithAMessageOpen) {
  PtyPair pty;
  NoFiles files;
  FakeClock clock;
  QtMainWindow window(pty.SlavePath(), files, clock);
  window.Form_Load();
  window.show();
  window.CmdLodRef_->click();  // no files: a message box opens and stays
  QTimer::singleShot(100, &window, [&window] { window.close(); });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });  // only if closing fails
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST(UnexpectedFailure, StopsEveryTimerAndThePortBeforeItsMessage) {
  struct Broken : NoFiles {
    WorkingDirectory CurrentDirectory() const override { throw std::runtime_error("broken"); }
  } files;
  PtyPair pty;
  FakeClock clock;
  QtMainWindow window(pty.SlavePath(), files, clock);
  window.Form_Load();
  bool seen = false;
  QTimer::singleShot(0, [&] {  // inside the message's own event loop
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
        seen = true;
        EXPECT_FALSE(window.TimDraw_->isActive());
        EXPECT_FALSE(window.Tim1s_->isActive());
        EXPECT_FALSE(window.Port().IsOpen());
        box->done(QMessageBox::Ok);
      }
    }
  });
  window.CmdLodSmp_->click();
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace pha
