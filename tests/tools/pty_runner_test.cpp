// The emulator end to end: frames written into a real pty, read back from its
// slave side and decoded by the program's own pulse decoder. A slave that is
// not raw would hold bytes back or change them: the decoding shows it.
// emulator_cli_test.cpp checks that the link goes at the end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/pulse_decoder.h"
#include "emulator/emulator.h"
#include "support/fakes.h"

namespace pha::emulator {
namespace {

constexpr std::string_view kDiscard = "\u2605 ";

struct Fd {
  ~Fd() { close(fd); }
  int fd;
};

// Keeps every title entry, oldest first; an entry ends at its first space.
class LoggingWindow : public pha::testing::FakeWindow {
 public:
  void SetCaption(std::string text) override {
    entries.push_back(text.substr(0, text.find(' ') + 1));
    FakeWindow::SetCaption(std::move(text));
  }
  std::vector<std::string> entries;
};

// The program's decoder with a measurement running, notified once per chunk
// of bytes as the port would be.
struct Receiver {
  Receiver() { state.FlgRun = Flag::True; }
  void Feed(std::span<const std::uint8_t> bytes) {
    port.waiting.insert(port.waiting.end(), bytes.begin(), bytes.end());
    decoder.MSComm1_OnComm();
  }
  pha::testing::ScriptedSerialPort port;
  LoggingWindow window;
  MeasurementState state;
  PulseDecoder decoder{port, window, state};
};

// What a run of frame_count frames must send, from the generator alone.
Statistics predicted(const Options& options) {
  FrameGenerator generator(options);
  Statistics stats;
  for (std::uint64_t i = 0; i < options.frame_count; ++i) stats.Count(generator.Next());
  return stats;
}

// Runs `options` to the end through a pty, feeding what the slave side reads
// to `receiver`. Reads take at most 333 bytes, an odd number, so
// frames are split between notifications.
Statistics run_through_pty(const Options& options, Receiver& receiver) {
  // Only a guard against hanging when bytes go missing (a slave not in raw
  // mode holds them back until a line ends); a run takes well under a second.
  constexpr int kSilenceLimitMs = 10'000;
  PtyDetector pty;
  const Fd slave{open(pty.slave_path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK)};
  EXPECT_GE(slave.fd, 0);
  Runner runner(pty.master_fd(), options);
  runner.Start();
  std::array<std::uint8_t, 333> buffer{};
  for (std::uint64_t left = predicted(options).bytes_sent; left > 0;) {
    pollfd readable{slave.fd, POLLIN, 0};
    const ssize_t n =
        poll(&readable, 1, kSilenceLimitMs) == 1
            ? read(slave.fd, buffer.data(), std::min<std::uint64_t>(buffer.size(), left))
            : 0;
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) {
      ADD_FAILURE() << left << " bytes never arrived";
      break;
    }
    receiver.Feed({buffer.data(), static_cast<std::size_t>(n)});
    left -= static_cast<std::uint64_t>(n);
  }
  runner.Stop();
  EXPECT_EQ(runner.Error(), "");
  return runner.Stats();
}

TEST(Runner, WhatArrivesDecodesToExactlyWhatTheStatisticsAnnounce) {
  const Options cases[] = {
      {.as_fast_as_possible = true, .frame_count = 20000, .seed = 2},
      // Paced, the line full, handed on in 16 ms batches as a USB adapter does.
      {.rate_per_s = 3000, .fixed_channel = 0x30A, .frame_count = 400, .delivery_period_ms = 16},
  };
  for (const Options& options : cases) {
    SCOPED_TRACE(options.frame_count);
    Receiver receiver;
    const Statistics sent = run_through_pty(options, receiver);
    EXPECT_EQ(sent, predicted(options));
    EXPECT_EQ(sent.valid_frames, options.frame_count);  // no faults, nothing lost
    EXPECT_EQ(static_cast<std::uint64_t>(receiver.state.CntTot), sent.valid_frames);
    EXPECT_EQ(static_cast<std::uint64_t>(receiver.state.SumTot), sent.channel_sum);
    for (int c = 0; c <= kMaxChannel; ++c)
      ASSERT_EQ(static_cast<std::uint64_t>(receiver.state.SpcSmp[c]), sent.histogram[c]) << c;
    if (!options.fixed_channel) {
      // Every byte value went through as it was, line-control characters too.
      std::bitset<256> low_bytes;
      for (int c = 0; c <= kMaxChannel; ++c)
        if (sent.histogram[c] > 0) low_bytes.set(c & 0xFF);
      EXPECT_TRUE(low_bytes.all());
    }
  }
}

// The title log of a stream of channel 700 with faults far enough apart that
// the decoder has realigned before the next one.
std::vector<std::string> expected_log(const Options& options) {
  const PulseFrame frame = PulseFrame::ForChannel(700);
  // The high byte of one frame read with the low byte of the next.
  const std::string misaligned =
      "(" + std::to_string(PulseFrame{frame.high, frame.low}.Channel()) + ") ";
  const std::string discard(kDiscard);
  std::vector<std::string> log;
  for (std::uint64_t k = 1; k <= options.frame_count; ++k) {
    if (k % options.invalid_every == 0) {
      log.insert(log.end(), {"(65535) ", discard, misaligned, discard});
      k += 2;  // the next two frames are lost
    } else if (k % options.drop_byte_every == 0) {
      log.insert(log.end(), {misaligned, discard});
      k += 1;  // and so is the next
    } else {
      log.push_back("700 ");
    }
  }
  return log;
}

TEST(Runner, InjectedFaultsShowTheDecodersResynchronisation) {
  // 700 is bytes BC 02: with a low byte of 4 or more no misaligned pair passes
  // as a pulse. Faults at multiples of 10 and of 25 lie at least 5 frames apart.
  const Options options{.fixed_channel = 700,
                        .as_fast_as_possible = true,
                        .frame_count = 198,
                        .drop_byte_every = 10,
                        .invalid_every = 25};
  Receiver receiver;
  const Statistics sent = run_through_pty(options, receiver);
  EXPECT_EQ(sent, predicted(options));
  EXPECT_EQ(receiver.window.entries, expected_log(options));
  EXPECT_NE(receiver.window.Caption().find("700 \u2605 (48130) 700 "), std::string::npos);
  // A dropped byte costs the next frame too, an invalid frame the next two.
  EXPECT_EQ(static_cast<std::uint64_t>(receiver.state.CntTot),
            sent.valid_frames - sent.bytes_dropped - 2 * sent.invalid_frames);
  EXPECT_EQ(receiver.decoder.FlgSkp(), Flag::False);
}

TEST(Runner, StopEndsAnyWait) {
  PtyDetector pty;
  {
    // Not due for a long while: the first arrival at 0.001 pulses/s.
    Runner runner(pty.master_fd(), {.rate_per_s = 0.001});
    runner.Start();
    EXPECT_FALSE(runner.Finished());
    runner.Stop();
    EXPECT_TRUE(runner.Finished());
    EXPECT_EQ(runner.Stats().frames_sent, 0u);
  }
  {
    // A full pipe: the runner waits for room that never comes.
    std::array<int, 2> pipe_fds{};
    ASSERT_EQ(pipe2(pipe_fds.data(), O_NONBLOCK), 0);
    const Fd read_end{pipe_fds[0]}, write_end{pipe_fds[1]};
    const std::array<std::uint8_t, 4096> filler{};
    for (const std::size_t size : {filler.size(), std::size_t{1}}) {
      while (write(write_end.fd, filler.data(), size) > 0) {
      }
    }
    Runner runner(write_end.fd, {.as_fast_as_possible = true});
    runner.Start();
    EXPECT_FALSE(runner.Finished());
    runner.Stop();
    EXPECT_EQ(runner.Stats().frames_sent, 0u);
    EXPECT_EQ(runner.Error(), "");
  }
}

// The link gives the detector a fixed name; it must never cost a file.
TEST(PtyDetector, ReplacesAnOldLinkButNeverAFileNorALinkGoneElsewhere) {
  namespace fs = std::filesystem;
  std::string folder = (fs::temp_directory_path() / "pha-emulator-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const fs::path dir(folder);
  fs::create_symlink("/nonexistent", dir / "stale");
  {
    PtyDetector pty(dir / "stale");
    EXPECT_EQ(fs::read_symlink(dir / "stale"), pty.slave_path());
  }
  std::ofstream(dir / "file") << "keep";
  EXPECT_THROW(PtyDetector{dir / "file"}, std::runtime_error);
  std::string content;
  std::ifstream(dir / "file") >> content;
  EXPECT_EQ(content, "keep");
  {
    PtyDetector pty(dir / "moved");
    fs::remove(dir / "moved");
    fs::create_symlink("/elsewhere", dir / "moved");
  }
  EXPECT_EQ(fs::read_symlink(dir / "moved"), "/elsewhere");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pha::emulator
