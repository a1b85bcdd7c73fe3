// The real program's start-up, offscreen: the window shown after loading, a
// run fed by the emulator through its real timers and title up to closing
// it, and every port that cannot be opened, with the remedy that fits.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "emulator/runner.h"
#include "platform/serial/lock_files.h"
#include "platform/window/qt_main_window.h"
#include "platform/window/run_pha.h"
#include "support/child_process.h"
#include "support/detector_line.h"
#include "support/fakes.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

using namespace pha::testing;

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
std::string LockFile(const std::string& device) { return SerialLockFiles(device).front(); }

TEST(StartUp, APortThatCannotBeOpenedEndsTheProgramWithTheRemedyThatFits) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to give devices to other accounts and groups";
  PtyDetector held;  // held by another port
  QtSerialPort holder({{1, held.slave_path()}});
  SetUpPort(holder);
  PtyDetector uucp, roots, stale, own_stale, unreadable;
  Own(uucp, "uucp", 0640);
  Own(unreadable, "tty", 0666);
  Own(roots, "root", 0600);
  Own(stale, "tty", 0666);
  Own(own_stale, "tty", 0666);
  // Left by a program that has ended, under an account that may remove it.
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  {
    std::ofstream lock(LockFile(stale.slave_path()));
    lock << ended << "\nother\nhost\n";
    std::ofstream(LockFile(own_stale.slave_path())) << ended << "\nother\nhost\n";
  }
  ASSERT_EQ(chown(LockFile(own_stale.slave_path()).c_str(), 65534, 65534), 0);  // nobody's
  // A running program's, that the account cannot read.
  std::ofstream(LockFile(unreadable.slave_path())) << getpid() << '\n';
  ASSERT_EQ(chmod(LockFile(unreadable.slave_path()).c_str(), 0600), 0);
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
      {unreadable.slave_path(), AsNobody, {LockFile(unreadable.slave_path()), "ls -l"}, {}},
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
  for (const PtyDetector* pty : {&stale, &own_stale, &unreadable})
    std::filesystem::remove(LockFile(pty->slave_path()));
}

TEST(StartUp, TheWindowShowsAfterLoadingPulsesReachEveryFigureAndClosingItEndsTheProgram) {
  PtyDetector pty;
  QObject bound;
  QTimer::singleShot(20000, &bound, [] { QCoreApplication::exit(99); });  // closing failed
  const StartUp run = Start(pty.slave_path(), [&](QtMainWindow& window) {
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

}  // namespace
}  // namespace pha
