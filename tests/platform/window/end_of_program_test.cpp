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
// status 1, never by a library's abort, and so does one that gives it too
// little memory; where the session allows more than it was given, it takes it.
TEST(EndOfTheProgram, ASignalToEndReleasesTheLineAndLeavesNothingBehind) {
  namespace fs = std::filesystem;
  const struct {
    const char* what;
    int signal;
    int resource;
    rlim_t soft, hard;  // 0: as the test has them
    int status;
  } rows[] = {
      {"SIGTERM", SIGTERM, 0, 0, 0, 0},
      {"SIGINT", SIGINT, 0, 0, 0, 0},
      {"SIGHUP", SIGHUP, 0, 0, 0, 0},
      {"ulimit -n 8", SIGTERM, RLIMIT_NOFILE, 8, 8, 1},
      {"ulimit -n 10", SIGTERM, RLIMIT_NOFILE, 10, 10, 1},
      {"ulimit -n 12", SIGTERM, RLIMIT_NOFILE, 12, 12, 1},
      {"ulimit -n 16", SIGTERM, RLIMIT_NOFILE, 16, 16, 1},
      {"ulimit -S -n 16, more allowed", SIGTERM, RLIMIT_NOFILE, 16, 4096, 0},
      {"ulimit -v 100000", SIGTERM, RLIMIT_AS, 100000 << 10, 100000 << 10, 1},
      {"ulimit -v 150000", SIGTERM, RLIMIT_AS, 150000 << 10, 150000 << 10, 1},
      {"ulimit -S -v 150000, more allowed", SIGTERM, RLIMIT_AS, 150000 << 10, RLIM_INFINITY, 0},
      {"ulimit -d 20000", SIGTERM, RLIMIT_DATA, 20000 << 10, 20000 << 10, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
#ifdef __SANITIZE_ADDRESS__
    if (row.resource == RLIMIT_AS || row.resource == RLIMIT_DATA) continue;  // its shadow
#endif
    char scratch[] = "/tmp/pha-end-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    Program demo({PHA_DEMO}, [&] {
      setenv("HOME", scratch, 1);
      setenv("XDG_RUNTIME_DIR", scratch, 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      const rlimit limit{row.soft, row.hard};
      if (row.soft != 0 && setrlimit(row.resource, &limit) != 0) _exit(126);
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
    const std::string advice = row.resource != 0 ? std::string(row.what, 9) : "ulimit";
    EXPECT_EQ(said.find(advice) != std::string::npos, row.status != 0) << said;
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
