// Other programs on the detector line: those that open it despite its
// exclusive claim (with root's rights, as a modem manager has them), read
// from it, or leave it at settings of their own; and those whose lock file
// claims it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/serial/lock_files.h"
#include "support/child_process.h"
#include "support/decoder_on_pty.h"

namespace pha {
namespace {

using namespace pha::testing;

// What a probe does in a process of its own: opens `device`, does `work`
// with it, closes it; `times` over.
void Probe(const std::string& device, int times, void (*work)(int fd)) {
  ASSERT_EQ(InChild([&] {
              for (int i = 0; i < times; ++i) {
                const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                if (fd < 0) return std::string("the probe could not open it");
                work(fd);
                close(fd);
              }
              return std::string();
            }),
            "");
}

std::size_t Mentioning(const std::vector<std::string>& reports, const std::string& text) {
  return static_cast<std::size_t>(std::count_if(
      reports.begin(), reports.end(), [&](auto& r) { return r.find(text) != std::string::npos; }));
}

// Each other opener is told, at once for the first and then with how many
// there were since; one that leaves the line cooked finds it set back, and
// the pulses after it count; one that stays and reads loses the program
// only the bytes it takes.
TEST(OtherPrograms, AnotherOpenerIsToldSettingsItLeavesAreSetBackAndReadingGoesOn) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to open the line past its exclusive claim";
  DecoderOnPty line(
      {}, {.reopen_interval_ms = 60'000, .check_interval_ms = 60'000, .report_every_ms = 500});
  const std::string& device = line.pty.slave_path();

  // A probe as a modem manager's: AT, a look for an answer, gone.
  Probe(device, 1, [](int fd) {
    if (write(fd, "AT\r", 3) < 0) _exit(2);
    char answer[16];
    if (read(fd, answer, sizeof answer) < 0 && errno != EAGAIN) _exit(3);
  });
  ASSERT_TRUE(WaitFor([&] { return line.reports.size() == 1; }));
  for (const char* told : {"fuser -v ", "ModemManager"})
    EXPECT_NE(line.reports[0].find(told + (told[0] == 'f' ? device : "")), std::string::npos)
        << line.reports[0];

  // A burst within the minute: one message, with the count.
  Probe(device, 100, [](int) {});
  ASSERT_TRUE(WaitFor([&] { return line.reports.size() == 2; }));
  EXPECT_NE(line.reports[1].find("100 times"), std::string::npos) << line.reports[1];
  HandleEventsFor(600);
  EXPECT_EQ(line.reports.size(), 2U);

  // Cooked, at 9600 baud 7E2: read back at its close, set back, told once.
  Probe(device, 1, [](int fd) {
    if (!SpoilLine(fd)) _exit(2);
  });
  ASSERT_TRUE(WaitFor([&] { return Mentioning(line.reports, "9600 baud") == 1; }));
  EXPECT_TRUE(IsDetectorLine(line.pty.master_fd()));
  Send(line.pty, Channels(0, 300));
  EXPECT_TRUE(line.Counted(300));
  EXPECT_EQ(line.state.CntTot, 300);
  EXPECT_EQ(Mentioning(line.reports, "9600 baud"), 1U);

  // A reader that stays and takes bytes from under the program: no pulled
  // cable, and no failing adapter either. Its opening is told, the line
  // stays open, and alone again, the program counts on.
  HandleEventsFor(600);
  const std::size_t told = line.reports.size();
  const int thief = open(device.c_str(), O_RDONLY | O_NOCTTY);
  ASSERT_GE(thief, 0);
  std::atomic<bool> stop = false;
  std::thread reader([&] {
    char bytes[64];
    while (!stop && read(thief, bytes, sizeof bytes) >= 0) {
    }
  });
  for (int i = 0; i < 300; ++i) {
    Send(line.pty, {100 + i});
    HandleEventsFor(1);
  }
  stop = true;
  Send(line.pty, {10});  // wakes the reader up
  reader.join();
  close(thief);
  HandleEventsFor(100);
  EXPECT_TRUE(line.port.IsOpen());
  ASSERT_EQ(line.reports.size(), told + 1);
  EXPECT_NE(line.reports.back().find(device), std::string::npos) << line.reports.back();
  // Alone on the line again, it counts on (the first frames may go to
  // realigning the stream).
  const std::int64_t before = line.state.CntTot;
  Send(line.pty, Channels(0, 100));
  EXPECT_TRUE(line.Counted(before + 97));
}

// The lock file of another program that runs keeps the program off the line
// and stays as it was, in whichever form it is written; one of a program
// that has ended is taken over. The program removes no lock file but its
// own.
TEST(OtherPrograms, ALiveLockKeepsTheLineAndNoLockButItsOwnIsRemoved) {
  if (access("/var/lock", W_OK) != 0) GTEST_SKIP() << "needs to write lock files in /var/lock";
  const pid_t sleeper = fork();  // a program that holds the line
  if (sleeper == 0) {
    pause();
    _exit(0);
  }
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  char classic[16];
  std::snprintf(classic, sizeof classic, "%10d\n", sleeper);
  const struct {
    const char* what;
    std::string lock;  // the file's bytes
    bool opens;
  } rows[] = {
      {"the classic form, a program that runs", classic, false},
      {"Qt's form, a program that runs", std::to_string(sleeper) + "\nminicom\nhost\n", false},
      {"a program that has ended", std::to_string(ended) + "\n", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    PtyDetector pty;
    const std::string path = SerialLockFiles(pty.slave_path()).front();
    std::ofstream(path) << row.lock;
    std::string message;
    {
      QtSerialPort port({{1, pty.slave_path()}});
      try {
        SetUpPort(port);
      } catch (const PlatformError& error) {
        message = error.what();
      }
      EXPECT_EQ(port.IsOpen(), row.opens) << message;
      if (!row.opens) {
        EXPECT_NE(message.find("process " + std::to_string(sleeper)), std::string::npos) << message;
      }
    }
    std::ifstream file(path);
    const std::string kept{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(kept, row.opens ? "" : row.lock);  // a lock taken over went with the port
    std::filesystem::remove(path);
  }
  kill(sleeper, SIGKILL);
  waitpid(sleeper, nullptr, 0);
}

}  // namespace
}  // namespace pha
