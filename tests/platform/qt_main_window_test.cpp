// The real window, offscreen: layout, start-up state and start-up failures.
#include "platform/qt_main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <fstream>

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

TEST_F(MainWindow, EveryControlSitsWhereTheLayoutPutsItWithItsStartText) {
  struct Row {
    QWidget* control;
    QWidget* parent;
    QString text;
    QRect pixels;  // twips / 15
  };
  QtMainWindow& w = window_;
  const Row rows[] = {
      {w.Frame1_, &w, "Real time data", {4, 4, 217, 41}},
      {w.LblRtmCpm_, w.Frame1_, "0 CPM", {8, 16, 57, 21}},
      {w.LblRtmDose_, w.Frame1_, "0 nGy", {68, 16, 57, 21}},
      {w.PicMtr_, w.Frame1_, "", {128, 16, 81, 21}},
      {w.Frame2_, &w, "Measurememt", {228, 4, 521, 41}},
      {w.CmbTmr_, w.Frame2_, "10 sec", {8, 16, 109, 20}},
      {w.CmdRun_, w.Frame2_, "Run", {124, 16, 53, 21}},
      {w.LblTim_, w.Frame2_, "00:00:00", {180, 16, 53, 21}},
      {w.LblCnt_, w.Frame2_, "0 COUNT", {236, 16, 109, 21}},
      {w.LblCpm_, w.Frame2_, "0 CPM", {348, 16, 73, 21}},
      {w.LblDose_, w.Frame2_, "nGy", {424, 16, 89, 21}},
      {w.Frame3_, &w, "File control", {756, 4, 173, 41}},
      {w.CmdSav_, w.Frame3_, "Save", {4, 16, 53, 21}},
      {w.CmdLodSmp_, w.Frame3_, "LodSam", {60, 16, 53, 21}},
      {w.CmdLodRef_, w.Frame3_, "LodRef", {116, 16, 53, 21}},
      {w.PicGrp_, &w, "", {4, 48, 925, 533}},
  };
  EXPECT_EQ(window_.size(), QSize(936, 585));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text.toStdString() + " " + row.control->metaObject()->className());
    EXPECT_EQ(row.control->parentWidget(), row.parent);
    EXPECT_EQ(row.control->geometry(), row.pixels);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(row.control)) text = label->text();
    if (auto* button = qobject_cast<QPushButton*>(row.control)) text = button->text();
    if (auto* frame = qobject_cast<QGroupBox*>(row.control)) text = frame->title();
    if (auto* list = qobject_cast<QComboBox*>(row.control)) text = list->currentText();
    EXPECT_EQ(text, row.text);
    if (auto* label = qobject_cast<QLabel*>(row.control)) {
      EXPECT_NE(label->frameShape(), QFrame::NoFrame);
      EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask,
                label == w.LblTim_ ? Qt::AlignHCenter : Qt::AlignRight);
    }
  }
}

TEST_F(MainWindow, ThePresetListHoldsItsEightItemsInOrderWithTheirSeconds) {
  const std::pair<QString, int> expected[] = {
      {"10 sec", 10},    {"1 min", 60},     {"1 hour", 3600},   {"2 hour", 7200},
      {"3 hour", 10800}, {"6 hour", 21600}, {"12 hour", 43200}, {"24 hour", 86400}};
  ASSERT_EQ(window_.CmbTmr_->count(), 8);
  EXPECT_FALSE(window_.CmbTmr_->isEditable());
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(window_.CmbTmr_->itemText(i), expected[i].first);
    EXPECT_EQ(window_.CmbTmr_->itemData(i).toInt(), expected[i].second);
  }
  EXPECT_EQ(window_.CmbTmr_->currentIndex(), 0);
}

TEST_F(MainWindow, FocusMovesInTabOrderAmongTheControlsThatTakeIt) {
  QtMainWindow& w = window_;
  const QWidget* order[] = {w.CmbTmr_, w.CmdRun_, w.CmdLodRef_, w.CmdLodSmp_, w.CmdSav_};
  // The next widget in the focus chain that the Tab key stops at.
  const auto next_tab_stop = [](const QWidget* widget) {
    QWidget* next = widget->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
  };
  for (std::size_t i = 0; i < std::size(order); ++i)
    EXPECT_EQ(next_tab_stop(order[i]), order[(i + 1) % std::size(order)]) << i;
  EXPECT_EQ(w.PicGrp_->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(w.PicMtr_->focusPolicy(), Qt::NoFocus);
}

TEST_F(MainWindow, StartsIdleWithTheEmptySpectraDrawnAndBothTimersRunning) {
  EXPECT_EQ(window_.windowTitle(), "FrmQor");
  EXPECT_EQ(window_.CmdRun_->palette().color(QPalette::Button),
            QApplication::palette().color(QPalette::Button));
  EXPECT_EQ(window_.Logic().State().FlgRun, Flag::False);
  const QImage plot = window_.PicGrp().Picture();
  const int row = static_cast<int>(window_.PicGrp().PixelY(0.0F));
  int blue = 0;
  for (int x = 0; x < plot.width(); ++x)
    blue += plot.pixelColor(x, row) == QColor(0, 0, 255) ? 1 : 0;
  EXPECT_EQ(blue, plot.width());
  EXPECT_TRUE(window_.TimDraw_->isActive());
  EXPECT_EQ(window_.TimDraw_->interval(), 200);
  EXPECT_TRUE(window_.Tim1s_->isActive());
  EXPECT_EQ(window_.Tim1s_->interval(), 1000);
  EXPECT_TRUE(window_.Port().IsOpen());
}

TEST_F(MainWindow, RunLightsTheButtonAndTheTickShowsRateDoseAndBar) {
  window_.CmdRun_->click();
  EXPECT_EQ(window_.CmdRun_->text(), "Stop");
  EXPECT_EQ(window_.CmdRun_->palette().color(QPalette::Button), QColor(255, 128, 128));

  // One second of 100 pulses in channel 1000: 600 CPM, a dose figure of
  // 1,250 and a bar 125 twips (8.3 pixels) long.
  std::vector<int> channels(100, 1000);
  pty_.Write(Frames(channels));
  ASSERT_TRUE(WaitFor([&] { return window_.Logic().State().CntSec == 100; }));
  window_.Logic().Tim1s_Timer();
  EXPECT_EQ(window_.LblRtmCpm_->text(), "600 CPM");
  EXPECT_EQ(window_.LblRtmDose_->text(), "1,250 nGy");
  EXPECT_EQ(window_.LblCnt_->text(), "100 COUNT");
  EXPECT_EQ(window_.LblTim_->text(), "00:00:01");
  EXPECT_FLOAT_EQ(window_.PicMtr().ScaleWidth(), 1215.0F);
  EXPECT_FLOAT_EQ(window_.PicMtr().ScaleHeight(), 315.0F);
  const QImage bar = window_.PicMtr().Picture();
  const QColor text = window_.PicMtr_->palette().color(QPalette::ButtonText);
  EXPECT_EQ(bar.pixelColor(7, 10), text);
  EXPECT_NE(bar.pixelColor(10, 10), text);

  window_.CmdRun_->click();
  EXPECT_EQ(window_.CmdRun_->text(), "Run");
  EXPECT_EQ(window_.CmdRun_->palette().color(QPalette::Button),
            QApplication::palette().color(QPalette::Button));

  // Figures of the line's full rate still show whole in the narrow labels.
  for (int second = 0; second < 30; ++second) {
    window_.Logic().State().CntSec = 960;
    window_.Logic().State().SumSec = 960 * 1023;
    window_.Logic().Tim1s_Timer();
  }
  for (QLabel* label : {window_.LblRtmCpm_, window_.LblRtmDose_}) {
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()),
              label->contentsRect().width() - label->indent())
        << label->text().toStdString();
  }
  EXPECT_TRUE(window_.LblRtmDose_->text().contains(QRegularExpression("^11\\d,\\d{3} nGy$")))
      << window_.LblRtmDose_->text().toStdString();
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

TEST_F(MainWindow, FramesOnTheLineShowInTheTitleLog) {
  pty_.Write(Frames({512, 498, 1024}));
  ASSERT_TRUE(WaitFor([&] {
    return window_.windowTitle().startsWith(QString::fromUtf8("(1024) 498 512 FrmQor"));
  })) << window_.windowTitle().toStdString();
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
  EXPECT_EQ(window.Logic().State().SpcRef[800], 1000);

  window.CmdRun_->click();
  plot = window.PicGrp().Picture();
  EXPECT_EQ(plot.pixelColor(column, row_of_1), blue);
  EXPECT_NE(plot.pixelColor(column, row_of_1000), blue);
  EXPECT_EQ(window.Logic().State().SpcRef[800], 1);

  fs::current_path(previous);
  fs::remove_all(folder);
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

// Runs the program on `device`; answers the first message box and tells
// what it said and whether any window was visible meanwhile.
struct StartUp {
  int status = -1;
  QString message;
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
        result.message = box->text();
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

TEST(StartUp, APortThatCannotBeOpenedEndsTheProgramBeforeTheWindowShows) {
  for (const std::string device : {"/nonexistent/ttyPHA", "/tmp"}) {
    const StartUp run = Start(device, nullptr);
    EXPECT_NE(run.status, 0) << device;
    EXPECT_FALSE(run.window_seen) << device;
    EXPECT_TRUE(run.message.contains(QString::fromStdString(device))) << run.message.toStdString();
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
  EXPECT_TRUE(run.message.isEmpty());
}

}  // namespace
}  // namespace pha
