// The real window, offscreen: start-up and its failures, the controls' pixels,
// the buttons' wiring, the title handed to the window system, and the end.
#include "platform/window/qt_main_window.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "emulator/runner.h"
#include "platform/posix/clocks.h"
#include "platform/posix/posix_file_system.h"
#include "platform/window/locale_separators.h"
#include "platform/window/run_pha.h"
#include "spectrum_files/spectrum_file.h"
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

// What opening `device` as serial port 1 says, in a child process that
// first does `before` (gives up root's rights, say).
std::string OpenMessage(const std::string& device, const std::function<bool()>& before) {
  return testing::InChild([&] {
    if (!before()) return std::string("could not prepare");
    try {
      QtSerialPort port({{1, device}});
      SetUpPort(port);
    } catch (const PlatformError& error) {
      return std::string(error.what());
    }
    return std::string("opened");
  });
}

bool AsNobody() { return setuid(65534) == 0; }

// A device under the test's control: `mode`, group `group`.
void Own(const PtyDetector& pty, const char* group, mode_t mode) {
  const struct group* found = getgrnam(group);
  ASSERT_NE(found, nullptr) << group;
  ASSERT_EQ(chown(pty.slave_path().c_str(), 0, found->gr_gid), 0);
  ASSERT_EQ(chmod(pty.slave_path().c_str(), mode), 0);
}

// The lock file serial programs leave for `device`, in the first lock folder.
std::string LockFile(const std::string& device) {
  std::string name = device.starts_with("/dev/") ? device.substr(5) : device;
  std::replace(name.begin(), name.end(), '/', '_');
  return "/var/lock/LCK.." + name;
}

TEST(StartUp, APortThatCannotBeOpenedEndsTheProgramWithTheRemedyThatFits) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to give devices to other accounts and groups";
  PtyDetector held;  // held by another port
  QtSerialPort holder({{1, held.slave_path()}});
  SetUpPort(holder);
  PtyDetector uucp, roots, stale, own_stale, alive, limited;
  Own(uucp, "uucp", 0640);
  Own(roots, "root", 0600);
  Own(stale, "tty", 0666);
  Own(own_stale, "tty", 0666);
  Own(alive, "tty", 0666);
  // Left by a program that has ended, under an account that may remove it.
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  {
    std::ofstream lock(LockFile(stale.slave_path()));
    lock << ended << "\nother\nhost\n";
    std::ofstream(LockFile(own_stale.slave_path())) << ended << "\nother\nhost\n";
    // Held by a process the account may not signal: init.
    std::ofstream(LockFile(alive.slave_path())) << "1\nother\nhost\n";
  }
  ASSERT_EQ(chown(LockFile(own_stale.slave_path()).c_str(), 65534, 65534), 0);  // nobody's
  const auto few_files = [] {  // the soft limit; the hard one stays
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = 8;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
  };
  const struct {
    std::string device;
    std::function<bool()> before;    // none: the program itself, as root
    std::vector<std::string> named;  // besides the device, in this order
    std::vector<std::string> not_named;
  } rows[] = {
      {"/nonexistent/ttyPHA", nullptr, {"plugged in", "PHA_SERIAL_PORT1"}, {"dialout"}},
      {held.slave_path(), nullptr, {std::to_string(getpid())}, {"PHA_SERIAL_PORT1", "dialout"}},
      {uucp.slave_path(), AsNobody, {"uucp"}, {"dialout", "udev"}},
      {roots.slave_path(), AsNobody, {"udev"}, {"dialout"}},
      {stale.slave_path(), AsNobody, {LockFile(stale.slave_path()), "sudo rm "}, {"in use"}},
      {own_stale.slave_path(), AsNobody, {LockFile(own_stale.slave_path()), "rm "}, {"sudo"}},
      {alive.slave_path(), AsNobody, {"process 1", "fuser"}, {"rm "}},
      {limited.slave_path(), few_files, {" 8 ", "ulimit -n"}, {"in use"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.device);
    std::string message;
    if (!row.before) {
      const StartUp run = Start(row.device, nullptr);
      EXPECT_NE(run.status, 0);
      EXPECT_FALSE(run.window_seen);
      message = run.message;
    } else {
      message = OpenMessage(row.device, row.before);
    }
    std::size_t at = message.find(row.device);
    EXPECT_NE(at, std::string::npos) << message;
    for (const std::string& named : row.named) {
      at = message.find(named, at == std::string::npos ? 0 : at);
      EXPECT_NE(at, std::string::npos) << named << " in " << message;
    }
    for (const std::string& other : row.not_named)
      EXPECT_EQ(message.find(other), std::string::npos) << message;
  }
  for (const PtyDetector* pty : {&stale, &own_stale, &alive})
    std::filesystem::remove(LockFile(pty->slave_path()));
}

TEST(StartUp, TheWindowShowsAfterLoadingPulsesReachEveryFigureAndClosingItEndsTheProgram) {
  PtyDetector pty;
  QObject bound;
  QTimer::singleShot(20000, &bound, [] { QCoreApplication::exit(99); });  // closing failed
  const StartUp run = Start(pty.slave_path(), [&](QtMainWindow& window) {
    EXPECT_EQ(window.Logic().State().SpcSmp[100], 1);
    window.CmdRun_->click();
    // The emulator's detector, 50 pulses in channel 300, twice: the second
    // batch long after the first one was drawn.
    const auto pulses = [&pty] {
      emulator::Options options;
      options.fixed_channel = 300;
      options.as_fast_as_possible = true;
      options.frame_count = 50;
      emulator::Runner detector(pty.master_fd(), options);
      detector.Start();
      detector.Wait();
    };
    // By the window's own timers: the count label, the smoothed trace (1 + n
    // from channel 296 to 304) and the title log.
    const auto shown = [&window](int count) {
      const int column = static_cast<int>(window.PicGrp().PixelX(300.0F));
      const int row = static_cast<int>(window.PicGrp().PixelY(float(10 * std::log(1.0 + count))));
      return WaitFor([&] {
        return window.LblCnt_->text() == QString("%1 COUNT").arg(count) &&
               window.PicGrp().Picture().pixelColor(column, row) == QColor(255, 0, 0) &&
               window.windowTitle().startsWith("300 300 ");
      });
    };
    QTimer::singleShot(0, &window, [&window, pulses, shown] {
      pulses();
      EXPECT_TRUE(shown(50));
      pulses();
      EXPECT_TRUE(shown(100));
      window.CmdLodRef_->click();  // no files: a message opens and stays
      window.close();
    });
  });
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.window_seen);
  EXPECT_EQ(run.message, "");
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
    std::vector<fs::path> saved;
    for (const auto& entry : fs::directory_iterator("data")) saved.push_back(entry.path());
    ASSERT_EQ(saved.size(), 1U);
    std::ifstream file(saved[0], std::ios::binary);
    const SpectrumFileReading reading =
        ParseSpectrumFile(std::string(std::istreambuf_iterator<char>(file), {}));
    EXPECT_EQ(std::tuple(reading.counts[200], reading.counts[300]), std::tuple(1, 41));
  }
  fs::current_path(before);
  fs::remove_all(scratch);
}

// SIGTERM, SIGINT or SIGHUP (a logout, a shutdown, a closed terminal) end the
// real program as closing its window does: the line and its lock file are
// released, the emulated detector's link goes, the exit status is 0. A
// session that lets it open too few files ends it at once, with advice and
// status 1, never by a library's abort; where the session allows more than
// it was given, it takes them.
TEST(EndOfTheProgram, ASignalToEndReleasesTheLineAndLeavesNothingBehind) {
  namespace fs = std::filesystem;
  const struct {
    const char* what;
    int signal;
    rlim_t soft_files, hard_files;  // 0: as the test has them
    int status;
  } rows[] = {
      {"SIGTERM", SIGTERM, 0, 0, 0},        {"SIGINT", SIGINT, 0, 0, 0},
      {"SIGHUP", SIGHUP, 0, 0, 0},          {"ulimit -n 8", SIGTERM, 8, 8, 1},
      {"ulimit -n 10", SIGTERM, 10, 10, 1}, {"ulimit -n 12", SIGTERM, 12, 12, 1},
      {"ulimit -n 16", SIGTERM, 16, 16, 1}, {"ulimit -S -n 16, more allowed", SIGTERM, 16, 4096, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    char scratch[] = "/tmp/pha-end-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    int diagnostics[2];
    ASSERT_EQ(pipe(diagnostics), 0);
    const pid_t demo = fork();
    if (demo == 0) {
      setenv("HOME", scratch, 1);
      setenv("XDG_RUNTIME_DIR", scratch, 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      dup2(diagnostics[1], STDERR_FILENO);
      for (int fd = 3; fd < 1024; ++fd) close(fd);
      if (row.soft_files != 0) {
        const rlimit files{row.soft_files, row.hard_files};
        if (setrlimit(RLIMIT_NOFILE, &files) != 0) _exit(126);
      }
      execl(PHA_DEMO, PHA_DEMO, nullptr);
      _exit(127);
    }
    close(diagnostics[1]);
    const std::string link = std::string(scratch) + "/pha-demo-detector-" + std::to_string(demo);
    const std::string lock = LockFile(link);
    int status = -1;
    if (row.status == 0) {
      EXPECT_TRUE(WaitFor([&] { return fs::exists(lock); }));  // the line is open
      kill(demo, row.signal);
    } else {
      QObject bound;
      QTimer::singleShot(10000, &bound, [&] { kill(demo, row.signal); });  // if it hangs
    }
    while (waitpid(demo, &status, WNOHANG) == 0) HandleEventsFor(10);
    std::string said;
    char buffer[4096];
    for (ssize_t got; (got = read(diagnostics[0], buffer, sizeof buffer)) > 0;)
      said.append(buffer, static_cast<std::size_t>(got));
    close(diagnostics[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.status) << status << said;
    EXPECT_EQ(said.find("ulimit -n") != std::string::npos, row.status != 0) << said;
    EXPECT_FALSE(fs::exists(lock));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    fs::remove_all(scratch);
  }
  // Qt ends the program with exit() when the display server goes away.
  PtyDetector pty;
  testing::InChild([&] {
    QtSerialPort port({{1, pty.slave_path()}});
    SetUpPort(port);
    std::exit(0);
    return std::string();
  });
  EXPECT_FALSE(fs::exists(LockFile(pty.slave_path())));
}

}  // namespace
}  // namespace pha
