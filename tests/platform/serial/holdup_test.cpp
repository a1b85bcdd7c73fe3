// Pulses lost while the program was held up longer than the system's buffer
// for the line holds: a real pseudo-terminal and its real buffer, and time
// on a clock of the test's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <string>

#include "support/decoder_on_pty.h"

namespace pha {
namespace {

using namespace pha::testing;

// Writes up to `bytes` of frames into the pty while nobody reads it: what
// the pty has no room for is lost. Returns what it took.
std::int64_t Fill(const PtyDetector& pty, std::int64_t frame_bytes) {
  const std::vector<std::uint8_t> frames = Frames(std::vector<int>(frame_bytes / 2, 300));
  const auto bytes = static_cast<std::int64_t>(frames.size());
  const int flags = fcntl(pty.master_fd(), F_GETFL);
  fcntl(pty.master_fd(), F_SETFL, flags | O_NONBLOCK);
  std::int64_t taken = 0;
  // Full once the pty takes nothing for a while: the kernel moves what it
  // took on to the reader's side from a worker of its own.
  for (pollfd room{pty.master_fd(), POLLOUT, 0}; taken < bytes && poll(&room, 1, 50) == 1;) {
    const ssize_t n = write(pty.master_fd(), frames.data() + taken,
                            static_cast<std::size_t>(std::min<std::int64_t>(bytes - taken, 512)));
    taken += std::max<ssize_t>(n, 0);
  }
  fcntl(pty.master_fd(), F_SETFL, flags);
  return taken;
}

TEST(HoldUps, PulsesLostBeyondTheBufferAreToldAndOnlyThose) {
  const struct {
    const char* what;
    int bytes_per_s;  // the line's rate before and during the hold-up
    int seconds;      // the hold-up
    double brought;   // what the line brings during it, of the rate before
    bool lost;
  } rows[] = {
      {"the full rate, 5 s", 1920, 5, 1.0, false},
      {"the full rate, 30 s", 1920, 30, 1.0, true},
      // Fewer pulses than before, but not so few as to be a loss.
      {"the full rate dipping by 9 % for 6 s", 1920, 6, 0.91, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    FakeMonotonicClock clock;
    DecoderOnPty line({}, {.check_interval_ms = 3'600'000, .clock = &clock});
    std::int64_t sent = 0;
    // A second of the line: its bytes, all read, then the port's look.
    const auto second = [&](std::int64_t bytes, int seconds) {
      sent += Fill(line.pty, bytes);
      EXPECT_TRUE(line.Counted(sent / 2));
      clock.now_ms += seconds * 1000;
      line.port.CheckLine();
    };
    for (int i = 0; i < 6; ++i) second(row.bytes_per_s, 1);
    const std::int64_t due = std::int64_t{row.bytes_per_s} * row.seconds;
    const std::int64_t before = sent;
    second(std::llround(row.brought * static_cast<double>(due)), row.seconds);
    const std::int64_t lost = due - (sent - before);
    second(row.bytes_per_s, 1);
    if (!row.lost) {
      EXPECT_EQ(line.reports, std::vector<std::string>{});
      continue;
    }
    ASSERT_EQ(line.reports.size(), 1U);
    const std::size_t about = line.reports[0].find("about ");
    ASSERT_NE(about, std::string::npos) << line.reports[0];
    const double told = std::stod(line.reports[0].substr(about + 6));
    EXPECT_NEAR(told, lost / 2.0, lost / 20.0) << line.reports[0];
    EXPECT_NE(line.reports[0].find("held up for 30 s"), std::string::npos) << line.reports[0];
  }
}

}  // namespace
}  // namespace pha
