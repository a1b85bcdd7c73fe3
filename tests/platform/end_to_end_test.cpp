// The real window offscreen, with the emulated detector on a pseudo-terminal
// and the real timers: a timed run from start to its own stop, and a soak at
// the line's full rate with faults on the line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <fstream>

#include "acquisition/pulse_decoder.h"
#include "acquisition/title_log.h"
#include "emulator/emulator.h"
#include "platform/qt_main_window.h"
#include "support/fakes.h"
#include "support/qt_wait.h"

namespace pha {
namespace {

using testing::NoFiles;
using testing::WaitFor;

struct Instrument {
  emulator::PtyDetector detector;
  NoFiles files;
  testing::FakeClock clock;
  QtMainWindow window{detector.slave_path(), files, clock};
  Instrument() { window.Form_Load(); }
  const MeasurementState& State() { return window.Logic().State(); }
};

TEST(EndToEnd, ATenSecondRunEndsByItselfWithWhatTheDetectorSentMeanwhile) {
  Instrument instrument;
  instrument.window.CmdRun_->click();
  ASSERT_EQ(instrument.window.CmdRun_->text(), "Stop");

  emulator::Options options;
  options.fixed_channel = 300;
  options.rate_per_s = 200;
  options.frame_count = 400;
  emulator::Runner runner(instrument.detector.master_fd(), options);
  runner.Start();
  ASSERT_TRUE(WaitFor([&] { return instrument.window.CmdRun_->text() == "Run"; }, 20000));
  runner.Wait();
  ASSERT_EQ(runner.Stats().valid_frames, 400U);

  const MeasurementState& state = instrument.State();
  EXPECT_EQ(state.CntTot, 400);
  EXPECT_EQ(state.SumTot, 400 * 300);
  EXPECT_EQ(state.SpcSmp[300], 401);
  EXPECT_EQ(state.SpcSmt[296], 401);
  EXPECT_EQ(state.TimMes, 10);
  EXPECT_EQ(instrument.window.LblTim_->text(), "00:00:10");
  EXPECT_EQ(instrument.window.LblCnt_->text(), "400 COUNT");
  EXPECT_EQ(instrument.window.LblCpm_->text(), "2400 CPM");
  EXPECT_EQ(instrument.window.LblDose_->text(), "1,500 nGy");
  EXPECT_EQ(instrument.window.CmdRun_->palette().color(QPalette::Button),
            QApplication::palette().color(QPalette::Button));
}

// Counts the title entries by kind, as the decoder writes them.
class CountingTitle final : public Window {
 public:
  const std::string& Caption() const override { return caption_; }
  void SetCaption(std::string text) override {
    const std::string_view entry(text.data(),
                                 text.size() - Utf8PrefixBytes(caption_, kTitleKeptChars));
    if (entry == kDiscardEntry)
      ++discards;
    else if (entry.front() == '(')
      ++rejected;
    else
      ++accepted;
    caption_ = std::move(text);
  }
  std::int64_t accepted = 0, rejected = 0, discards = 0;

 private:
  std::string caption_;
};

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

int SoakSeconds() {
  const char* seconds = std::getenv("PHA_SOAK_SECONDS");
  return seconds != nullptr ? std::max(10, std::atoi(seconds)) : 120;
}

TEST(Soak, AtTheFullLineRateWithFaultsEveryFrameIsAccountedFor) {
  Instrument instrument;
  instrument.window.CmbTmr_->setCurrentIndex(7);  // "24 hour"
  instrument.window.CmdRun_->click();

  emulator::Options options;
  options.rate_per_s = 5000;  // more than the line carries: it runs full
  options.frame_count = static_cast<std::uint64_t>(SoakSeconds()) * 960;
  options.drop_byte_every = 2999;
  options.invalid_every = 4999;
  options.seed = 20261206;
  emulator::Runner runner(instrument.detector.master_fd(), options);
  runner.Start();

  testing::HandleEventsFor(10000);
  const long warm_kib = ResidentKiB();
  ASSERT_TRUE(WaitFor([&] { return runner.Finished(); }, (SoakSeconds() + 60) * 1000));
  ASSERT_TRUE(runner.Error().empty()) << runner.Error();
  // Whatever is still on its way through the pty.
  ASSERT_TRUE(WaitFor([&] { return instrument.window.Port().InBufferCount() < 2; }));
  testing::HandleEventsFor(500);
  const long end_kib = ResidentKiB();

  // The same frames, decoded from memory, say what the window must have.
  emulator::FrameGenerator generator(options);
  testing::ScriptedSerialPort port;
  for (std::uint64_t i = 0; i < options.frame_count; ++i) {
    const emulator::Frame frame = generator.Next();
    port.waiting.insert(port.waiting.end(), frame.Bytes().begin(), frame.Bytes().end());
  }
  const auto bytes_sent = static_cast<std::int64_t>(port.waiting.size());
  CountingTitle title;
  MeasurementState expected;
  expected.SpcSmp.fill(1);
  expected.SpcSmt.fill(1);
  expected.FlgRun = Flag::True;
  PulseDecoder reference(port, title, expected);
  reference.MSComm1_OnComm();

  const emulator::Statistics sent = runner.Stats();
  EXPECT_EQ(static_cast<std::uint64_t>(bytes_sent), sent.bytes_sent);
  // Every byte went into an accepted frame, a rejected one or a discard.
  EXPECT_EQ(2 * (title.accepted + title.rejected) + title.discards + port.InBufferCount(),
            bytes_sent);
  // Each fault costs at most the three frames of one realignment.
  const auto faults = static_cast<std::int64_t>(sent.invalid_frames + sent.bytes_dropped);
  EXPECT_GE(title.accepted, static_cast<std::int64_t>(sent.valid_frames) - 3 * faults);

  const MeasurementState& state = instrument.State();
  EXPECT_EQ(state.CntTot, title.accepted);
  EXPECT_EQ(state.SumTot, expected.SumTot);
  EXPECT_EQ(state.SpcSmp, expected.SpcSmp);
  EXPECT_EQ(state.SpcSmt, expected.SpcSmt);
  EXPECT_EQ(instrument.window.Logic().State().FlgRun, Flag::True);
  // Nothing piles up over the run. (AddressSanitizer holds freed memory back
  // on purpose, and finds leaks by itself.)
#ifndef __SANITIZE_ADDRESS__
  EXPECT_LT(end_kib - warm_kib, 1024)
      << warm_kib << " KiB after warm-up, " << end_kib << " at the end";
#endif
  RecordProperty("frames", static_cast<int>(sent.frames_sent));
  RecordProperty("rss_growth_kib", static_cast<int>(end_kib - warm_kib));
}

}  // namespace
}  // namespace pha
