// The end of the real program (pha-demo): by each signal that asks it to end,
// by too few open files, and by exit(): nothing left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTimer>
#include <filesystem>

#include "platform/serial/lock_files.h"
#include "platform/window/qt_main_window.h"
#include "support/child_process.h"
#include "support/detector_line.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

using namespace pha::testing;

// The lock file serial programs leave for `device`, in the first lock folder.
std::string LockFile(const std::string& device) { return SerialLockFiles(device).front(); }

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
    Program demo({PHA_DEMO}, [&] {
      setenv("HOME", scratch, 1);
      setenv("XDG_RUNTIME_DIR", scratch, 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      const rlimit files{row.soft_files, row.hard_files};
      if (row.soft_files != 0 && setrlimit(RLIMIT_NOFILE, &files) != 0) _exit(126);
    });
    const std::string link =
        std::string(scratch) + "/pha-demo-detector-" + std::to_string(demo.pid);
    const std::string lock = LockFile(link);
    if (row.status == 0) {
      EXPECT_TRUE(WaitFor([&] { return fs::exists(lock); }));  // the line is open
      kill(demo.pid, row.signal);
    }
    QObject bound;
    QTimer::singleShot(10000, &bound, [&] { kill(demo.pid, SIGKILL); });  // if it hangs
    const int status = demo.Ended([] { HandleEventsFor(10); });
    const std::string& said = demo.said;
    EXPECT_EQ(status, row.status) << said;
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
