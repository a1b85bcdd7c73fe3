// pha_load_bench: the real window on a detector line, a "24 hour"
// measurement running, every timer and redraw going, for a number of seconds;
// then the share of one core the process used and its resident memory.
//
//   pha_load_bench --device /tmp/detector --seconds 60
//   pha_load_bench --soak --report-at 10,60
//
// --device: the detector on a serial device. Start it first, for example
// pha-emulator --link /tmp/detector --rate 5000 (more than the line carries,
// so it runs full at 960 frames/s).
//
// --soak: the detector emulated in this process on a pseudo-terminal, at the
// full line rate with faults on the line (every 2999th frame loses a byte,
// every 4999th is invalid). When its last frame is in, every byte sent must be
// accounted for by the decoder as part of an accepted frame, a rejected frame
// or a discard, and the spectra and totals must equal an offline decoding of
// the same frames; if not, the exit status is 1. The CPU share then includes
// the emulator's thread.
//
// --report-at prints the resident memory and the heap in use (mallinfo2) at
// the given minutes of the run, and the growth from the first to the last;
// the run then lasts until the last of them, and at least --seconds after a
// warm-up of five seconds (without --report-at, 60 by default).
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/pulse_decoder.h"
#include "acquisition/title_log.h"
#include "emulator/emulator.h"
#include "platform/posix/clocks.h"
#include "platform/posix/posix_file_system.h"
#include "platform/window/qt_main_window.h"
#include "platform/window/run_pha.h"
#include "support/fakes.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Times the user-interface thread has gone to sleep and been woken again.
long Wakeups() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return -1;
}

// "10,60" -> {10, 60}; empty when the list is not minutes in rising order.
std::vector<double> Minutes(const std::string& list) {
  std::vector<double> minutes;
  for (std::size_t at = 0; at <= list.size();) {
    const std::size_t comma = std::min(list.find(',', at), list.size());
    const double minute = std::atof(list.substr(at, comma - at).c_str());
    if (minute <= 0 || (!minutes.empty() && minute <= minutes.back())) return {};
    minutes.push_back(minute);
    at = comma + 1;
  }
  return minutes;
}

struct MemoryReport {
  double minute = 0;
  long resident_kib = 0;
  long heap_kib = 0;  // in use: allocated by malloc and not freed
};

MemoryReport MemoryNow(double minute) {
  return {minute, StatusKiB("VmRSS:"), static_cast<long>(mallinfo2().uordblks / 1024)};
}

// Counts the title entries by kind, as the decoder writes them.
class CountingTitle final : public pha::Window {
 public:
  const std::string& Caption() const override { return caption_; }
  void SetCaption(std::string text) override {
    const std::string_view entry(
        text.data(), text.size() - pha::Utf8PrefixBytes(caption_, pha::kTitleKeptChars));
    if (entry == pha::kDiscardEntry)
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

// The soak's detector line: more than the line carries, so that it runs full,
// with faults.
pha::emulator::Options SoakLine(double seconds) {
  pha::emulator::Options options;
  options.rate_per_s = 5000;
  options.frame_count = static_cast<std::uint64_t>(seconds * 960);
  options.drop_byte_every = 2999;
  options.invalid_every = 4999;
  options.seed = 20261206;
  return options;
}

// Decodes the frames the soak's emulator sent, from memory, and compares
// every byte and the measurement with what the window made of them. Prints
// the verdict; returns whether it holds.
bool AccountForEveryByte(const pha::emulator::Options& line, const pha::emulator::Statistics& sent,
                         pha::QtMainWindow& window) {
  pha::emulator::FrameGenerator generator(line);
  pha::testing::ScriptedSerialPort port;
  for (std::uint64_t i = 0; i < sent.frames_sent; ++i) {
    const pha::emulator::Frame frame = generator.Next();
    port.waiting.insert(port.waiting.end(), frame.Bytes().begin(), frame.Bytes().end());
  }
  const auto bytes_sent = static_cast<std::int64_t>(port.waiting.size());
  CountingTitle title;
  pha::MeasurementState expected;
  expected.SpcSmp.fill(1);
  expected.SpcSmt.fill(1);
  expected.FlgRun = pha::Flag::True;
  pha::PulseDecoder reference(port, title, expected);
  reference.MSComm1_OnComm();

  const std::int64_t accounted =
      2 * (title.accepted + title.rejected) + title.discards + port.InBufferCount();
  // Each fault costs at most the three frames of one realignment.
  const auto faults = static_cast<std::int64_t>(sent.invalid_frames + sent.bytes_dropped);
  const pha::MeasurementState& state = window.Logic().State();
  const bool whole = static_cast<std::uint64_t>(bytes_sent) == sent.bytes_sent &&
                     accounted == bytes_sent &&
                     title.accepted >= static_cast<std::int64_t>(sent.valid_frames) - 3 * faults;
  const bool equal = state.CntTot == title.accepted && state.SumTot == expected.SumTot &&
                     state.SpcSmp == expected.SpcSmp && state.SpcSmt == expected.SpcSmt &&
                     state.FlgRun == pha::Flag::True;
  std::printf("frames sent: %llu (%llu valid, %llu invalid, %llu with a byte dropped)\n",
              static_cast<unsigned long long>(sent.frames_sent),
              static_cast<unsigned long long>(sent.valid_frames),
              static_cast<unsigned long long>(sent.invalid_frames),
              static_cast<unsigned long long>(sent.bytes_dropped));
  std::printf(
      "byte accounting: %s: %llu bytes sent; %lld accepted frames, %lld rejected frames, "
      "%lld bytes discarded, %d left over; spectra and totals %s an offline decoding\n",
      whole && equal ? "ok" : "FAILED", static_cast<unsigned long long>(sent.bytes_sent),
      static_cast<long long>(title.accepted), static_cast<long long>(title.rejected),
      static_cast<long long>(title.discards), port.InBufferCount(),
      equal ? "equal" : "differ from");
  return whole && equal;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  pha::ConfigureApplication();
  std::string device;
  bool soak = false;
  int seconds = 0;
  std::vector<double> report_at;
  bool bad_option = false;
  for (int i = 1; i < argc; ++i) {
    const bool valued = i + 1 < argc;
    if (std::strcmp(argv[i], "--soak") == 0)
      soak = true;
    else if (std::strcmp(argv[i], "--device") == 0 && valued)
      device = argv[++i];
    else if (std::strcmp(argv[i], "--seconds") == 0 && valued)
      seconds = std::atoi(argv[++i]);
    else if (std::strcmp(argv[i], "--report-at") == 0 && valued)
      bad_option |= (report_at = Minutes(argv[++i])).empty();
    else
      bad_option = true;
  }
  if (seconds == 0) seconds = report_at.empty() ? 60 : 0;
  if (soak == !device.empty() || seconds < 0 || bad_option) {
    std::fprintf(stderr,
                 "usage: pha_load_bench (--device PATH | --soak) [--seconds N] "
                 "[--report-at MINUTES,...]\n");
    return 2;
  }
  // The first seconds fill caches and buffers; measure after them.
  constexpr int kWarmUpMs = 5000;
  const double run_seconds =
      std::max(kWarmUpMs / 1000.0 + seconds, report_at.empty() ? 0 : report_at.back() * 60);

  std::optional<pha::emulator::PtyDetector> detector;
  if (soak) device = detector.emplace().slave_path();
  // Frames until a little after the end, so that the line is full to the end.
  const pha::emulator::Options line = SoakLine(run_seconds + 5);
  pha::PosixFileSystem files;
  pha::LocalClock clock;
  pha::QtMainWindow window(device, files, clock);
  try {
    window.Form_Load();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pha_load_bench: %s\n", error.what());
    return 1;
  }
  window.show();
  window.CmbTmr_->setCurrentIndex(7);  // "24 hour"
  window.CmdRun_->click();
  std::optional<pha::emulator::Runner> runner;
  if (soak) runner.emplace(detector->master_fd(), line).Start();

  double cpu_start = 0;
  long wakeups_start = 0, wakeups = 0;
  QElapsedTimer wall;
  std::int64_t pulses_start = 0;
  std::vector<MemoryReport> reports;
  double elapsed = 0, cpu_used = 0;
  std::int64_t pulses = 0;
  // The soak ends when the emulator is done and its bytes have all been read:
  // the count has stood still for half a second (the port reads what the pty
  // holds some milliseconds after it arrives).
  QTimer drained;
  drained.setInterval(100);
  std::int64_t last_count = -1;
  int quiet_ticks = 0;
  QObject::connect(&drained, &QTimer::timeout, [&] {
    const std::int64_t count = window.Logic().State().CntTot;
    quiet_ticks = count == last_count ? quiet_ticks + 1 : 0;
    last_count = count;
    if (runner->Finished() && window.Port().InBufferCount() < 2 && quiet_ticks >= 5)
      QApplication::quit();
  });
  bool measured = false;  // the seconds after warm-up have passed
  const auto end_if_done = [&] {
    if (!measured || reports.size() < report_at.size()) return;
    elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    cpu_used = CpuSeconds() - cpu_start;
    wakeups = Wakeups() - wakeups_start;
    pulses = window.Logic().State().CntTot - pulses_start;
    if (soak)
      drained.start();
    else
      QApplication::quit();
  };
  QTimer::singleShot(kWarmUpMs, [&] {
    cpu_start = CpuSeconds();
    wakeups_start = Wakeups();
    pulses_start = window.Logic().State().CntTot;
    wall.start();
    QTimer::singleShot(seconds * 1000, [&] {
      measured = true;
      end_if_done();
    });
  });
  for (const double minute : report_at) {
    QTimer::singleShot(static_cast<int>(minute * 60000), Qt::PreciseTimer, [&, minute] {
      reports.push_back(MemoryNow(minute));
      std::printf("at minute %g: resident memory %ld KiB, heap in use %ld KiB\n", minute,
                  reports.back().resident_kib, reports.back().heap_kib);
      std::fflush(stdout);
      end_if_done();
    });
  }
  QApplication::exec();

  std::printf("seconds measured: %.1f\n", elapsed);
  std::printf("pulses per second: %.0f\n", static_cast<double>(pulses) / elapsed);
  std::printf("cpu share of one core: %.2f %%\n", 100.0 * cpu_used / elapsed);
  std::printf("wake-ups per second: %.0f\n", static_cast<double>(wakeups) / elapsed);
  std::printf("resident memory: %ld KiB (peak %ld KiB)\n", StatusKiB("VmRSS:"),
              StatusKiB("VmHWM:"));
  if (reports.size() > 1) {
    const MemoryReport &first = reports.front(), &last = reports.back();
    std::printf("growth from minute %g to %g: resident memory %+ld KiB, heap in use %+ld KiB\n",
                first.minute, last.minute, last.resident_kib - first.resident_kib,
                last.heap_kib - first.heap_kib);
  }
  if (soak) {
    runner->Wait();
    if (!runner->Error().empty()) {
      std::fprintf(stderr, "pha_load_bench: %s\n", runner->Error().c_str());
      return 1;
    }
    if (!AccountForEveryByte(line, runner->Stats(), window)) return 1;
  }
  return 0;
}
